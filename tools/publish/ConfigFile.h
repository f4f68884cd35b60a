// The game's configuration as the downloader reads it: an INI text with the
// sections GameConfig, DownLoader and Keldor, written in the encoding the
// operator picks.
#pragma once

#include "tools/publish/PublishOptions.h"

#include <cstdint>
#include <string>
#include <vector>

struct ConfigEntry {
    std::string section;
    std::string key;
    std::string value;  // UTF-8
};

// Values computed from the installer and the layout.
struct ComputedValues {
    uint64_t gameSize = 0;
    std::string gameMd5;         // 32 lower-case hex digits
    std::string downloadLink;    // the portal's copy of the installer
    std::string seedUrl;         // the Metalink seed or the torrent
    std::string skinLink;        // empty when none
    std::string gameSha256;      // the whole installer's, 64 lower-case hex digits; empty: not written
};

// Every key in the order the downloader reads them, grouped by section.
std::vector<ConfigEntry> BuildConfigEntries(const PublishOptions& options, const ComputedValues& computed);

// Why an entry cannot be written, or empty: a line break (it would end the
// line), more than the 259 UTF-16 units the downloader keeps, text that is
// not UTF-8.
std::string CheckConfigEntry(const ConfigEntry& entry);

// The INI text (CRLF lines) in UTF-8.
std::string ConfigText(const std::vector<ConfigEntry>& entries);

// The file's bytes in the chosen encoding. False with a message naming each
// key and the characters that do not fit (GBK), or when the GBK bytes would
// also read as UTF-8, which the downloader would then take them for.
bool EncodeConfig(const std::vector<ConfigEntry>& entries, ConfigEncoding encoding, std::string* bytes,
                  std::string* error);
