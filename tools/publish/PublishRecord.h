// What each publication wrote: .vorla-publish/<id>.files in the portal's
// folder. It tells a republication of the same game, which may replace
// those files, from a file of another game or one the tool never wrote,
// which it must not replace unasked; and it names the generations of the
// game's files still on disk, so that the one before the current one is
// kept for downloads still running and older ones are removed.
//
//   current <generation>
//   <path>            one relative path a line, '/'-separated
//   previous <generation>
//   <path>
//
// A record of an earlier version of the tool (paths only) reads as a
// current generation without a name.
#pragma once

#include <string>
#include <vector>

extern const char kRecordFolder[];  // ".vorla-publish"

struct PublicationRecord {
    std::string current;                  // the generation the configuration names
    std::vector<std::string> currentFiles;
    std::string previous;                 // the one before, kept for running downloads
    std::vector<std::string> previousFiles;
};

// The game's record; an empty one when there is none.
PublicationRecord ReadRecord(const std::string& out, const std::string& gameId);
std::string RecordText(const PublicationRecord& record);

// Of `targets` (relative paths, '/'-separated) those that exist in `out` and
// were not written by an earlier publication of `gameId`, each with who
// wrote it: "game 7224" or "not written by vorla-publish".
struct Overwrite {
    std::string path;
    std::string owner;
};
std::vector<Overwrite> FindOverwrites(const std::string& out, const std::string& gameId,
                                      const std::vector<std::string>& targets);
