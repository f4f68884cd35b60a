#include "tools/publish/ConfigFile.h"

#include "config/ConfigEncoding.h"
#include "config/GbkText.h"
#include "tools/publish/TextEncoding.h"

namespace {

// What the downloader keeps of a value (a 260-character buffer).
const size_t kMaxValueUnits = 259;

size_t Utf16Units(const std::u32string& codePoints) {
    size_t units = 0;
    for (char32_t cp : codePoints) units += cp >= 0x10000 ? 2 : 1;
    return units;
}

}  // namespace

std::vector<ConfigEntry> BuildConfigEntries(const PublishOptions& o, const ComputedValues& c) {
    const std::string stats = o.statsUrl.empty() ? o.baseUrl + "/stat" : o.statsUrl;
    std::vector<ConfigEntry> entries = {
        {"GameConfig", "GameName", o.gameName},
        {"GameConfig", "GameSize", std::to_string(c.gameSize)},
        {"GameConfig", "GameDownloadLink", c.downloadLink},
        {"GameConfig", "GameMd5", c.gameMd5},
        {"GameConfig", "SeedUrl", c.seedUrl},
        {"GameConfig", "GameVersion", o.gameVersion},
        {"DownLoader", "SkinLink", c.skinLink},
        {"DownLoader", "NewVersion", o.minVersion},
        {"DownLoader", "NewVersionDownloaderLink", o.newVersionLink},
        {"DownLoader", "EmbedLink2", o.promoPage},
        {"DownLoader", "KeldorInstallTip", o.companionTip},
        {"DownLoader", "TextPromotionTitle", o.promotionTitle},
        {"DownLoader", "TextPromotionLink", o.promotionLink},
        {"Keldor", "KeldorDownloaderLink", o.companionLink},
        {"Keldor", "safecheck", o.safecheck},
        {"Keldor", "CancelDownloadTips", o.cancelTips},
        {"Keldor", "DomainName", stats},
    };
    // Keys older downloaders ignore; written only when asked for.
    if (!c.gameSha256.empty()) entries.insert(entries.begin() + 4, {"GameConfig", "GameSha256", c.gameSha256});
    if (!o.signer.empty()) entries.insert(entries.begin() + 5, {"GameConfig", "GameSigner", o.signer});
    return entries;
}

std::string CheckConfigEntry(const ConfigEntry& entry) {
    std::u32string codePoints;
    if (!DecodeUtf8(entry.value, &codePoints)) return entry.key + " is not UTF-8 text";
    for (char32_t cp : codePoints) {
        if (cp == '\r' || cp == '\n' || cp == 0) return entry.key + " holds a line break or a null character";
    }
    if (Utf16Units(codePoints) > kMaxValueUnits)
        return entry.key + " is longer than the " + std::to_string(kMaxValueUnits) +
               " characters the downloader reads";
    return std::string();
}

std::string ConfigText(const std::vector<ConfigEntry>& entries) {
    std::string text;
    std::string section;
    for (const ConfigEntry& entry : entries) {
        if (entry.section != section) {
            if (!section.empty()) text += "\r\n";
            section = entry.section;
            text += "[" + section + "]\r\n";
        }
        text += entry.key + "=" + entry.value + "\r\n";
    }
    return text;
}

bool EncodeConfig(const std::vector<ConfigEntry>& entries, ConfigEncoding encoding, std::string* bytes,
                  std::string* error) {
    for (const ConfigEntry& entry : entries) {
        std::string why = CheckConfigEntry(entry);
        if (!why.empty()) {
            *error = why;
            return false;
        }
    }
    const std::string text = ConfigText(entries);
    if (encoding == ConfigEncoding::Utf16WithMark) {
        *bytes = Utf8ToUtf16LeWithMark(text);
        return true;
    }
    std::string unfitting;
    for (const ConfigEntry& entry : entries) {
        std::string encoded;
        std::u32string unfit;
        if (EncodeGbk(entry.value, &encoded, &unfit)) continue;
        std::string list;
        for (char32_t cp : unfit) list += (list.empty() ? "" : ", ") + DescribeCodePoint(cp);
        unfitting += (unfitting.empty() ? "" : "; ") + entry.key + ": " + list;
    }
    if (!unfitting.empty()) {
        *error = "GBK cannot hold these characters (" + unfitting + "); use --encoding utf-16";
        return false;
    }
    std::u32string unfit;
    EncodeGbk(text, bytes, &unfit);
    // The downloader takes any valid UTF-8 for UTF-8: GBK bytes that happen
    // to form it would be read as other characters.
    if (ClassifyConfigText(*bytes) == ConfigTextKind::Utf8) {
        *error = "the GBK text would read as UTF-8 to the downloader; use --encoding utf-16";
        return false;
    }
    return true;
}
