#include "tools/publish/PublishOptions.h"

#include <cstdlib>

namespace {

struct TextOption {
    const char* name;
    std::string PublishOptions::*field;
    const char* help;
};

const TextOption kTextOptions[] = {
    {"--id", &PublishOptions::gameId, "game identifier (digits)"},
    {"--installer", &PublishOptions::installer, "installer file to publish"},
    {"--base-url", &PublishOptions::baseUrl, "public base URL of the portal, http(s)://host[:port][/path]"},
    {"--out", &PublishOptions::out, "the portal's folder (laid out as it is served)"},
    {"--name", &PublishOptions::gameName, "game name (GameName)"},
    {"--game-version", &PublishOptions::gameVersion, "version text shown on the page (GameVersion)"},
    {"--min-version", &PublishOptions::minVersion, "oldest downloader version allowed (NewVersion; default the --downloader's version)"},
    {"--tracker", &PublishOptions::tracker, "BitTorrent tracker URL (announce)"},
    {"--skin", &PublishOptions::skinFile, "skin PNG, served beside the installer (SkinLink)"},
    {"--skin-link", &PublishOptions::skinLink, "skin image served elsewhere (SkinLink)"},
    {"--promo-page", &PublishOptions::promoPage, "page of the promotional pane (EmbedLink2)"},
    {"--promotion-title", &PublishOptions::promotionTitle, "promotion text (TextPromotionTitle)"},
    {"--promotion-link", &PublishOptions::promotionLink, "target of the promotion text (TextPromotionLink)"},
    {"--companion-link", &PublishOptions::companionLink, "companion setup URL (KeldorDownloaderLink)"},
    {"--companion-tip", &PublishOptions::companionTip, "companion offer text (KeldorInstallTip)"},
    {"--cancel-tips", &PublishOptions::cancelTips, "CancelDownloadTips"},
    {"--stats-url", &PublishOptions::statsUrl, "statistics base URL (DomainName, default <base-url>/stat)"},
    {"--new-version-link", &PublishOptions::newVersionLink, "page for an outdated downloader (NewVersionDownloaderLink)"},
    {"--safecheck", &PublishOptions::safecheck, "1: check the download's MD5 (default), 0: size only"},
    {"--downloader", &PublishOptions::downloader, "built downloader to stamp with the identifier"},
    {"--installer-name", &PublishOptions::installerName, "file name the installer is served under (default its own)"},
    {"--stamp-tool", &PublishOptions::stampTool, "vorla-stamp.exe run under Wine (Linux; default: beside the downloader)"},
    {"--sign-key", &PublishOptions::signKey, "PEM key (P-256) that signs the configuration (<config>.sig; implies GameSha256)"},
    {"--signer", &PublishOptions::signer, "publisher of the installer's code signature (GameSigner; checked first)"},
    {"--signer-ca", &PublishOptions::signerRoots, "PEM roots that vouch for the installer's signature (Linux; default the system's)"},
    {"--codesign-cert", &PublishOptions::codesignCert, "PEM certificate that signs the stamped downloader (Authenticode)"},
    {"--codesign-key", &PublishOptions::codesignKey, "its PEM key"},
};

}  // namespace

std::string PublishUsage() {
    std::string text =
        "usage: vorla-publish --id <digits> --installer <file> --base-url <http(s)://...> --out <folder>\n"
        "                     --name <text> [options]\n";
    for (const TextOption& option : kTextOptions) {
        std::string line = std::string("  ") + option.name + " <value>";
        if (line.size() < 30) line.resize(30, ' ');
        text += line + " " + option.help + "\n";
    }
    text +=
        "  --mirror <url>               another copy of the installer (repeatable)\n"
        "  --encoding gbk|utf-16        configuration encoding (default gbk)\n"
        "  --seed metalink|torrent      the seed SeedUrl names (default: torrent with --tracker, else metalink)\n"
        "  --piece-length <bytes>       piece length of the seed and torrent (default: from the size)\n"
        "  --require-sha256             write GameSha256, the whole installer's SHA-256 (also with --sign-key)\n"
        "  --force                      overwrite files that no publication of this game wrote\n"
        "  --quiet                      no progress line\n"
        "\n"
        "       vorla-publish --print-key <key.pem>\n"
        "  prints the key's public point in the form the program's VORLA_CONFIG_KEYS takes\n";
    return text;
}

bool ParsePublishArguments(const std::vector<std::string>& args, PublishOptions* options, std::string* error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--force") {
            options->force = true;
            continue;
        }
        if (arg == "--quiet") {
            options->quiet = true;
            continue;
        }
        if (arg == "--require-sha256") {
            options->requireSha256 = true;
            continue;
        }
        if (arg == "--print-key" && i + 1 < args.size()) {
            options->printKey = args[++i];
            continue;
        }
        if (i + 1 >= args.size()) {
            *error = arg.compare(0, 2, "--") == 0 ? arg + " needs a value" : "unexpected argument " + arg;
            return false;
        }
        const std::string& value = args[i + 1];
        bool known = false;
        for (const TextOption& option : kTextOptions) {
            if (arg == option.name) {
                options->*option.field = value;
                known = true;
            }
        }
        if (arg == "--mirror") {
            options->mirrors.push_back(value);
            known = true;
        } else if (arg == "--encoding") {
            if (value == "gbk" || value == "GBK") {
                options->encoding = ConfigEncoding::Gbk;
            } else if (value == "utf-16" || value == "UTF-16" || value == "utf16") {
                options->encoding = ConfigEncoding::Utf16WithMark;
            } else {
                *error = "--encoding is gbk or utf-16, not " + value;
                return false;
            }
            known = true;
        } else if (arg == "--seed") {
            if (value == "metalink") {
                options->seed = PublishOptions::Seed::Metalink;
            } else if (value == "torrent") {
                options->seed = PublishOptions::Seed::Torrent;
            } else {
                *error = "--seed is metalink or torrent, not " + value;
                return false;
            }
            known = true;
        } else if (arg == "--piece-length") {
            char* end = nullptr;
            const unsigned long long n = std::strtoull(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || n < 16384 || (n & (n - 1)) != 0) {
                *error = "--piece-length must be a power of two of at least 16384 bytes, not " + value;
                return false;
            }
            options->pieceLength = n;
            known = true;
        }
        if (!known) {
            *error = "unknown option " + arg;
            return false;
        }
        ++i;
    }
    if (!options->printKey.empty()) return true;  // nothing else is needed
    const char* required[][2] = {{"--id", options->gameId.c_str()},
                                 {"--installer", options->installer.c_str()},
                                 {"--base-url", options->baseUrl.c_str()},
                                 {"--out", options->out.c_str()},
                                 {"--name", options->gameName.c_str()}};
    for (const auto& r : required) {
        if (*r[1] == '\0') {
            *error = std::string(r[0]) + " is required";
            return false;
        }
    }
    return true;
}
