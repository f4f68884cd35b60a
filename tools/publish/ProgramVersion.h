// What a built downloader says of itself, read from its file's bytes on any
// platform: its resources, and its own version, the fixed file version of
// its version resource as "%d.%d.%d.%d", which is the text the program
// compares with NewVersion.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes of the program's resource of this type and name (its first one
// of the type when `name` is empty; names as the resource compiler stores
// them, upper case), first language; false when the image is not a PE file
// or has none. Every offset is checked.
bool FindProgramResource(const std::vector<uint8_t>& image, uint32_t type, const std::string& name,
                         std::vector<uint8_t>* resource);

// The bytes of the program's first version resource (type 16).
bool FindVersionResource(const std::vector<uint8_t>& image, std::vector<uint8_t>* resource);

// "1.1.0.1005"; false with a message when the file cannot be read or holds
// no version.
bool ReadProgramVersion(const std::string& path, std::string* version, std::string* error);

// Why the downloader of version `own` would call itself outdated against a
// NewVersion of `required`, or empty: the program finds it outdated when the
// two texts differ in length, or when own's first five characters sort
// before required's.
std::string OutdatedBecause(const std::string& own, const std::string& required);
