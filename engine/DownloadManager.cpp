#include "engine/DownloadManager.h"

#include <cstring>

namespace {

template <typename Fn>
bool ResolveInto(const CCarriedLibrary& library, const char* name, Fn& entry) {
    entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(library.Resolve(name)));
    return entry != nullptr;
}

}  // namespace

const wchar_t CDownloadManager::kEngineResourceType[] = L"DOWNLOAD_LIB";

bool LoadEngine(int id, const wchar_t* type, const std::wstring& path, CCarriedLibrary& library,
                EngineEntryPoints& entries) {
    entries = EngineEntryPoints();
    if (!library.Load(id, type, path)) return false;
    // Every export must be there, even those never called: a library missing
    // one is not the engine this program was built with.
    const bool complete = ResolveInto(library, "Init", entries.Init) &&
                          ResolveInto(library, "Login", entries.Login) &&
                          ResolveInto(library, "Uninit", entries.Uninit) &&
                          ResolveInto(library, "CreateP2SPTask", entries.CreateP2SPTask) &&
                          ResolveInto(library, "QueryTask", entries.QueryTask) &&
                          ResolveInto(library, "StartTask", entries.StartTask) &&
                          ResolveInto(library, "StopTask", entries.StopTask) &&
                          ResolveInto(library, "StopSeed", entries.StopSeed) &&
                          ResolveInto(library, "GetFinishMessage", entries.GetFinishMessage) &&
                          ResolveInto(library, "RemoveTask", entries.RemoveTask) &&
                          ResolveInto(library, "SetConfigInfo", entries.SetConfigInfo) &&
                          ResolveInto(library, "UpdateRegInfo", entries.UpdateRegInfo) &&
                          ResolveInto(library, "SetP2spOption", entries.SetP2spOption);
    if (!complete) {
        entries = EngineEntryPoints();
        library.Unload();
    }
    return complete;
}

CDownloadManager::CDownloadManager(int resourceId, const wchar_t* resourceType, const std::wstring& libraryPath) {
    bound_ = LoadEngine(resourceId, resourceType, libraryPath, library_, engine_);
    callback_ = nullptr;
}

CDownloadManager::CDownloadManager(const EngineEntryPoints& entries) : engine_(entries) {
    const EngineEntryPoints& e = entries;
    bound_ = e.Init && e.Login && e.Uninit && e.CreateP2SPTask && e.QueryTask && e.StopSeed && e.GetFinishMessage &&
             e.RemoveTask && e.SetConfigInfo && e.UpdateRegInfo && e.SetP2spOption && e.StartTask && e.StopTask;
    if (!bound_) engine_ = EngineEntryPoints();
}

CDownloadManager::~CDownloadManager() {
    // Freeing the library under running task threads would crash them; the
    // page normally calls Uninit at exit, this covers every other way out.
    if (engineRunning_) Uninit();
    engine_ = EngineEntryPoints();
    bound_ = false;
}

int CDownloadManager::StartTask(int taskId) {
    if (!bound_) return 0;
    const int result = engine_.StartTask(taskId);
    if (result == 1 && callback_) callback_->OnTaskState(TASK_STARTED);
    return result;
}

int CDownloadManager::StopTask(int taskId) {
    if (!bound_) return 0;
    const int result = engine_.StopTask(taskId);
    if (result == 1 && callback_) callback_->OnTaskState(TASK_STOPPED);
    return result;
}

void CDownloadManager::Init(int reserved) {
    if (!bound_) return;
    engine_.Init(reserved);
    engineRunning_ = true;
}

void CDownloadManager::SetP2spOption(int option, const wchar_t* value, int valueBytes) {
    if (bound_) engine_.SetP2spOption(option, value, valueBytes);
}

int CDownloadManager::CreateP2SPTask(HWND owner, const wchar_t* url, const wchar_t* targetPath) {
    if (!bound_) return kNoTask;
    return engine_.CreateP2SPTask(owner, url, targetPath);
}

void CDownloadManager::QueryTask(int taskId, P2spTaskInfo* info) {
    if (!info) return;
    if (!bound_) {
        std::memset(info, 0, sizeof(*info));
        return;
    }
    engine_.QueryTask(taskId, info);
}

void CDownloadManager::RemoveTask(int taskId) {
    if (bound_) engine_.RemoveTask(taskId);
}

void CDownloadManager::Uninit() {
    if (!bound_) return;
    engine_.Uninit();
    engineRunning_ = false;
}

unsigned TaskPercentage(const P2spTaskInfo& info) {
    if (info.totalBytes == 0) return 0;
    return static_cast<unsigned>(info.completedBytes * 100 / info.totalBytes);
}

uint64_t TaskSpeed(const P2spTaskInfo& info) {
    return static_cast<uint64_t>(info.serverSpeed) + info.peerSpeed;
}
