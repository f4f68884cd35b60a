// The configuration keys a built downloader carries, read from its file on
// any platform, so a publication cannot give it a configuration it would
// refuse at every start.
#pragma once

#include <string>
#include <vector>

// Each key of the downloader's portal trust as the uncompressed point in
// lower-case hexadecimal ("04…", as --print-key prints it); none when it
// carries no trust. False with a message when the file cannot be read or
// its trust does not parse (the program would trust no configuration).
bool ReadDownloaderKeys(const std::string& path, std::vector<std::string>* keys, std::string* error);
