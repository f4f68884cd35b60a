// The one place through which the program talks to the P2SP engine: binds
// the carried engine library and passes every call through, adding start and
// stop notification. An engine that failed to bind is never called; every
// operation then fails harmlessly.
#pragma once

#include "engine/CarriedLibrary.h"
#include "p2sp/P2spApi.h"

#include <windows.h>

#include <cstdint>
#include <string>

// The engine's thirteen entry points, all null until bound.
struct EngineEntryPoints {
    P2spInitFn Init = nullptr;
    P2spLoginFn Login = nullptr;
    P2spUninitFn Uninit = nullptr;
    P2spCreateTaskFn CreateP2SPTask = nullptr;
    P2spQueryTaskFn QueryTask = nullptr;
    P2spStopSeedFn StopSeed = nullptr;
    P2spGetFinishMessageFn GetFinishMessage = nullptr;
    P2spRemoveTaskFn RemoveTask = nullptr;
    P2spSetConfigInfoFn SetConfigInfo = nullptr;
    P2spUpdateRegInfoFn UpdateRegInfo = nullptr;
    P2spSetOptionFn SetP2spOption = nullptr;
    P2spStartTaskFn StartTask = nullptr;
    P2spStopTaskFn StopTask = nullptr;
};

// Extracts the engine resource (id, type) to path, loads it and resolves all
// thirteen exports. False, with library unloaded and entries all null, when
// any step fails or any export is missing.
bool LoadEngine(int id, const wchar_t* type, const std::wstring& path, CCarriedLibrary& library,
                EngineEntryPoints& entries);

class CDownloadManager {
public:
    class ICDownloadManagerCallback {
    public:
        virtual ~ICDownloadManagerCallback() = default;
        // state: TASK_STARTED or TASK_STOPPED; the result is ignored.
        virtual int OnTaskState(int state) = 0;
    };

    enum TaskState { TASK_STARTED = 0, TASK_STOPPED = 1 };
    static constexpr int kNoTask = -1;
    static constexpr int kEngineResourceId = 120;
    static const wchar_t kEngineResourceType[];

    // The process-wide manager, bound to the carried engine ("DOWNLOAD_LIB"
    // 120) at the configured engine path on the first call. Unbinds (unload,
    // delete the file) at process end. The engine library does not define
    // it: the program's wiring does (app/EngineWiring.cpp), as it alone knows
    // where the configuration puts the engine.
    static CDownloadManager& GetInstance();

    // A manager bound to the engine resource (id, type) written to path.
    CDownloadManager(int resourceId, const wchar_t* resourceType, const std::wstring& libraryPath);
    // A manager over entry points supplied by the caller (an engine linked
    // in, or a test's scripted engine). Bound only when all thirteen are set.
    explicit CDownloadManager(const EngineEntryPoints& entries);
    ~CDownloadManager();
    CDownloadManager(const CDownloadManager&) = delete;
    CDownloadManager& operator=(const CDownloadManager&) = delete;

    bool IsBound() const { return bound_; }
    // Not owned; null for none. A later call replaces it.
    void SetCallback(ICDownloadManagerCallback* callback) { callback_ = callback; }

    // The engine's result; OnTaskState only when it is 1. Unbound: 0.
    int StartTask(int taskId);
    int StopTask(int taskId);

    // Pass-throughs. Unbound: nothing happens, CreateP2SPTask returns
    // kNoTask and QueryTask leaves the record zeroed.
    void Init(int reserved);
    void SetP2spOption(int option, const wchar_t* value, int valueBytes);
    int CreateP2SPTask(HWND owner, const wchar_t* url, const wchar_t* targetPath);
    void QueryTask(int taskId, P2spTaskInfo* info);
    void RemoveTask(int taskId);
    void Uninit();

private:
    EngineEntryPoints engine_;
    ICDownloadManagerCallback* callback_ = nullptr;  // not owned
    CCarriedLibrary library_;
    bool bound_ = false;
    // Init called without a matching Uninit: the engine's threads may run.
    bool engineRunning_ = false;
};

// Derived figures of a status record: completed * 100 / total, truncated,
// 0 while the total is unknown; and the sum of both source speeds.
unsigned TaskPercentage(const P2spTaskInfo& info);
uint64_t TaskSpeed(const P2spTaskInfo& info);
