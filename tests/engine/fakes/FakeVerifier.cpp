// A stand-in for the verification library. VORLA_FAKE_CID in the loading
// process's environment picks the behaviour: "fail" scribbles into the
// buffer and returns 0, anything else writes "fake-machine-id". Each call
// appends "x" to VORLA_FAKE_CID_CALLS.
#include "verifier/VerifierApi.h"

#include <windows.h>

#include <cwchar>

extern "C" int VERIFIER_API GetCIDW(wchar_t* buffer, int capacity) {
    wchar_t calls[256] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"VORLA_FAKE_CID_CALLS", calls, 250);
    if (n < 250) {
        calls[n] = L'x';
        calls[n + 1] = L'\0';
        ::SetEnvironmentVariableW(L"VORLA_FAKE_CID_CALLS", calls);
    }
    wchar_t mode[16] = {};
    ::GetEnvironmentVariableW(L"VORLA_FAKE_CID", mode, 16);
    if (std::wcscmp(mode, L"fail") == 0) {
        std::wcsncpy(buffer, L"half-written", static_cast<size_t>(capacity));
        return 0;
    }
    std::wcsncpy(buffer, L"fake-machine-id", static_cast<size_t>(capacity));
    return 1;
}
