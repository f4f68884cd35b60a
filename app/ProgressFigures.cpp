#include "app/ProgressFigures.h"

#include <cwchar>

const wchar_t kSpeedAtRest[] = L"速度：0.0KB/s";

namespace {

const uint64_t kKiB = 1024;
const uint64_t kMiB = 1048576;
const uint64_t kGiB = 1073741824;

std::wstring FormatFloat(const wchar_t* format, double value) {
    wchar_t text[64] = {};
    std::swprintf(text, sizeof(text) / sizeof(text[0]), format, value);
    return text;
}

uint64_t SpeedOf(const P2spTaskInfo& info) {
    return static_cast<uint64_t>(info.serverSpeed) + info.peerSpeed;
}

// Whether the companion's bytes belong in the poll's figures.
bool DownloadedAlongside(const CompanionFigures& offer) { return offer.ticked && offer.taskId != -1; }

}  // namespace

std::wstring FormatSize(uint64_t bytes) {
    const wchar_t* unit = L"B";
    double value = static_cast<double>(bytes);
    if (bytes / kGiB > 0) {
        unit = L"GB";
        value = static_cast<double>(bytes) / static_cast<double>(kGiB);
    } else if (bytes / kMiB > 0) {
        unit = L"MB";
        value = static_cast<double>(bytes) / static_cast<double>(kMiB);
    } else if (bytes / kKiB > 0) {
        unit = L"KB";
        value = static_cast<double>(bytes) / static_cast<double>(kKiB);
    }
    // Rounded to single precision first: 1.005 MB and its neighbours show the
    // way the float quotient rounds, not the double one.
    const float rounded = static_cast<float>(value);
    return FormatFloat(L"%0.2f", rounded) + unit;
}

std::wstring FormatSizeText(uint64_t done, uint64_t total) { return FormatSize(done) + L"/" + FormatSize(total); }

std::wstring FormatSpeedText(uint64_t bytesPerSecond) {
    return L"速度：" + FormatFloat(L"%0.1f", static_cast<double>(bytesPerSecond) / 1024.0) + L"KB/s";
}

unsigned ProgressPercentage(uint64_t done, uint64_t total) {
    if (total == 0) return 0;
    // done may run ahead of a total the engine has not corrected yet; the bar
    // takes 0 to 100 only.
    if (done >= total) return 100;
    return static_cast<unsigned>(done * 100 / total);
}

uint64_t GameTotal(const P2spTaskInfo& game, uint64_t gameSize) {
    return game.totalBytes != 0 ? game.totalBytes : gameSize;
}

ProgressFiguresResult ComputePollFigures(const P2spTaskInfo& game, const P2spTaskInfo& companion,
                                         uint64_t gameSize, const CompanionFigures& offer) {
    ProgressFiguresResult result;
    const uint64_t gameTotal = GameTotal(game, gameSize);
    if (DownloadedAlongside(offer)) {
        result.total = gameTotal + companion.totalBytes;
        result.speed = SpeedOf(game) + SpeedOf(companion);
        result.done = game.completedBytes + (offer.done ? companion.totalBytes : companion.completedBytes);
    } else {
        result.total = gameTotal;
        result.speed = SpeedOf(game);
        result.done = game.completedBytes;
    }
    result.percentage = ProgressPercentage(result.done, result.total);
    return result;
}

uint64_t CompanionTotal(const P2spTaskInfo& companion, const CompanionFigures& offer) {
    if (!offer.ticked) return 0;
    if (companion.totalBytes != 0) return companion.totalBytes;
    // Where the done side counts a setup already on disk, the total counts
    // the same file: a setup left by an earlier run must not show as 3 MB of
    // a recorded 10 MB beside a finished download.
    if (companion.completedBytes == 0 && offer.setupFileSize != 0) return offer.setupFileSize;
    return offer.recordedSize;
}

uint64_t CompanionDone(const P2spTaskInfo& companion, const CompanionFigures& offer) {
    if (!offer.ticked) return 0;
    return companion.completedBytes != 0 ? companion.completedBytes : offer.setupFileSize;
}

RefreshFigures ComputeRefreshFigures(const P2spTaskInfo& game, const P2spTaskInfo& companion, uint64_t gameSize,
                                     const CompanionFigures& offer) {
    RefreshFigures result;
    result.done = game.completedBytes + CompanionDone(companion, offer);
    result.total = gameSize + CompanionTotal(companion, offer);
    result.show = result.total != 0;
    result.position = result.show ? ProgressPercentage(game.completedBytes, game.totalBytes) : 0;
    return result;
}
