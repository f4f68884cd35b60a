// vorla-stamp <program.exe> <game-id> [<copy.exe>]
// Writes the game identifier as FileDescription of the program (or of a copy
// of it, when a copy path is given), so one build serves every game.
// Exit codes: 0 stamped, 1 usage, 2 failure.

#include "tools/stamp/StampExecutable.h"

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const size_t kMaxGameIdLength = 38;  // what the program keeps of FileDescription

int Fail(const std::wstring& message) {
    std::fwprintf(stderr, L"vorla-stamp: %ls\n", message.c_str());
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3 && argc != 4) {
        std::fwprintf(stderr, L"usage: vorla-stamp <program.exe> <game-id> [<copy.exe>]\n");
        return 1;
    }
    const std::wstring gameId = argv[2];
    if (gameId.empty() || gameId.size() > kMaxGameIdLength) {
        return Fail(L"the game identifier must have 1 to 38 characters");
    }
    std::wstring target = argv[1];
    if (argc == 4) {
        target = argv[3];
        if (!::CopyFileW(argv[1], target.c_str(), FALSE)) return Fail(L"cannot copy the program to " + target);
    }
    const std::wstring error = StampExecutable(target, gameId);
    if (!error.empty()) return Fail(error + L": " + target);
    return 0;
}
