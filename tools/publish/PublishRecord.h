// What each publication wrote: .vorla-publish/<id>.files in the portal's
// folder lists the game's files, one relative path a line. It tells a
// republication of the same game, which may replace them, from a file of
// another game or one the tool never wrote, which it must not replace
// unasked.
#pragma once

#include <string>
#include <vector>

extern const char kRecordFolder[];  // ".vorla-publish"

// The record's text for these files.
std::string RecordText(const std::vector<std::string>& files);

// Of `targets` (relative paths, '/'-separated) those that exist in `out` and
// were not written by an earlier publication of `gameId`, each with who
// wrote it: "game 7224" or "not written by vorla-publish".
struct Overwrite {
    std::string path;
    std::string owner;
};
std::vector<Overwrite> FindOverwrites(const std::string& out, const std::string& gameId,
                                      const std::vector<std::string>& targets);
