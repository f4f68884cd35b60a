// Writing a game identifier into a built program's version resource.
#pragma once

#include <string>

// Sets FileDescription to gameId in every string table of every version
// resource of the program at path, in place, keeping the fixed file info,
// the other strings and the translations. Empty on success, else what failed.
std::wstring StampExecutable(const std::wstring& path, const std::wstring& gameId);
