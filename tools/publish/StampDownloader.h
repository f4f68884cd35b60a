// Stamping the game identifier into the published copy of the downloader,
// with the program's own stamping code (tools/stamp): called directly on
// Windows; on Linux its Windows build, vorla-stamp.exe, runs under Wine.
#pragma once

#include <string>

// Writes gameId as FileDescription of the program at `copy` (UTF-8 path),
// in place. stampTool: vorla-stamp.exe for Wine, or empty to look beside
// `original` and beside this tool. False with a message saying what is
// missing or what failed.
// Whether the stamping can run here (on Linux: Wine and vorla-stamp.exe
// found), checked before anything is read; false with what is missing.
bool CanStampDownloader(const std::string& original, const std::string& stampTool, std::string* error);

bool StampDownloaderCopy(const std::string& copy, const std::string& gameId, const std::string& original,
                         const std::string& stampTool, std::string* error);
