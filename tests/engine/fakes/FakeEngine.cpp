// A stand-in for the P2SP engine at the download manager's seam. Every call
// is appended to the environment variable VORLA_FAKE_ENGINE_CALLS of the
// loading process, where the test reads it. StartTask returns
// FAKE_START_RESULT; the build makes one variant per behaviour.
#include "p2sp/P2spApi.h"

#include <cstring>
#include <string>

namespace {

const wchar_t kCallsVariable[] = L"VORLA_FAKE_ENGINE_CALLS";

void Record(const std::wstring& call) {
    wchar_t existing[4096] = {};
    const DWORD n = ::GetEnvironmentVariableW(kCallsVariable, existing, 4096);
    std::wstring calls = n < 4096 ? std::wstring(existing, n) : std::wstring();
    calls += call + L";";
    ::SetEnvironmentVariableW(kCallsVariable, calls.c_str());
}

}  // namespace

extern "C" {

int P2SP_API Init(int reserved) {
    Record(L"Init(" + std::to_wstring(reserved) + L")");
    return 1;
}
int P2SP_API Login(void) { return 0; }
void P2SP_API Uninit(void) { Record(L"Uninit"); }
int P2SP_API CreateP2SPTask(HWND, const wchar_t* url, const wchar_t* targetPath) {
    Record(std::wstring(L"Create(") + url + L"," + targetPath + L")");
    return 7;
}
int P2SP_API QueryTask(int taskId, P2spTaskInfo* info) {
    Record(L"Query(" + std::to_wstring(taskId) + L")");
    if (taskId != 7 || !info) return 0;
    info->totalBytes = 1000;
    info->completedBytes = 250;
    info->serverSpeed = 100;
    info->peerSpeed = 23;
    info->state = P2SP_STATE_RUNNING;
    return 1;
}
int P2SP_API StartTask(int taskId) {
    Record(L"Start(" + std::to_wstring(taskId) + L")");
    return FAKE_START_RESULT;
}
int P2SP_API StopTask(int taskId) {
    Record(L"Stop(" + std::to_wstring(taskId) + L")");
    return 1;
}
int P2SP_API StopSeed(void) { return 0; }
int P2SP_API GetFinishMessage(void) { return 0; }
int P2SP_API RemoveTask(int taskId) {
    Record(L"Remove(" + std::to_wstring(taskId) + L")");
    return 1;
}
int P2SP_API SetConfigInfo(void) { return 0; }
int P2SP_API UpdateRegInfo(void) { return 0; }
int P2SP_API SetP2spOption(int option, const wchar_t* value, int valueBytes) {
    Record(L"Option(" + std::to_wstring(option) + L"," + value + L"," + std::to_wstring(valueBytes) + L")");
    return 1;
}

}  // extern "C"
