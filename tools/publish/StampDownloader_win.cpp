#include "tools/publish/StampDownloader.h"

#include "tools/publish/WideText.h"
#include "tools/stamp/StampExecutable.h"

bool CanStampDownloader(const std::string&, const std::string&, std::string*) { return true; }

bool StampDownloaderCopy(const std::string& copy, const std::string& gameId, const std::string&, const std::string&,
                         std::string* error) {
    const std::wstring failure = StampExecutable(WideFromUtf8(copy), WideFromUtf8(gameId));
    if (failure.empty()) return true;
    *error = "cannot stamp the downloader: " + Utf8FromWide(failure);
    return false;
}
