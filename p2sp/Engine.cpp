// The thirteen exports. Every one returns at once: network and disk work
// happens on the tasks' worker threads. No exception leaves an export.
// Winsock 2 must come before anything that includes windows.h.
#include <winsock2.h>

#include "p2sp/P2spApi.h"
#include "p2sp/Task.h"
#include "p2sp/swarm/SwarmOptions.h"
#include "p2sp/portmap/PortMapper.h"
#include "p2sp/swarm/UploadBudget.h"

#include <cwchar>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

struct Engine {
    std::mutex lock;  // guards the table; never held by a worker thread
    std::map<int, std::unique_ptr<Task>> tasks;
    // Removed tasks whose workers may still be ending. RemoveTask returns at
    // once; they are let go of here once their threads are done.
    std::vector<std::unique_ptr<Task>> retired;
    int nextId = 1;
    std::wstring seedUrl;  // a Metalink document or torrent handed to every task that starts
    UploadBudget upload;   // one upload cap for every swarm
    PortMapper mapper;     // the home router's mappings of every swarm's port
    SwarmOptions swarm;    // listening, limits and the upload cap of the swarms of tasks that start

    Engine() {
        swarm.upload = &upload;
        swarm.mapper = &mapper;
        // Tests that run the real program beside peers on this machine allow
        // loopback peers from the environment, as the harness does with option 7.
        wchar_t flag[4] = L"";
        if (GetEnvironmentVariableW(L"P2SP_TEST_LOOPBACK_PEERS", flag, 4) == 1 && flag[0] == L'1')
            swarm.allowLoopback = true;
        // Tests and the demo run on machines whose router is not theirs to
        // ask: they turn port mapping off here (option 8 still turns it on).
        if (GetEnvironmentVariableW(L"P2SP_PORT_MAPPING", flag, 4) == 1 && flag[0] == L'0')
            mapper.SetEnabled(false);
    }
};

// Never destroyed: at process end without Uninit the worker threads are
// already gone, and destroying a joinable std::thread would abort.
Engine& TheEngine() {
    static Engine* engine = new Engine;
    return *engine;
}

Task* FindTask(Engine& engine, int id) {
    auto it = engine.tasks.find(id);
    return it == engine.tasks.end() ? nullptr : it->second.get();
}

// Drops retired tasks whose workers have ended. Call with the lock held.
void ReapRetired(Engine& engine) {
    auto& retired = engine.retired;
    for (size_t i = 0; i < retired.size();) {
        if (retired[i]->IsRunning()) {
            ++i;
        } else {
            retired[i] = std::move(retired.back());
            retired.pop_back();  // its thread has ended: the join is immediate
        }
    }
}

template <typename Body>
int NoThrow(int onFailure, Body body) {
    try {
        return body();
    } catch (...) {
        return onFailure;
    }
}

}  // namespace

extern "C" {

// Takes a reserved 0. The engine needs no set-up; returns 1.
int P2SP_API Init(int /*reserved*/) { return 1; }

// No-ops kept for binary compatibility: there is no account, finish
// message, configuration or registration service. Each returns 0.
int P2SP_API Login(void) { return 0; }

// Every task stops giving to peers (a finished task's seeding ends; a
// running download goes on over HTTP with its swarm ended). Returns 1.
int P2SP_API StopSeed(void) {
    return NoThrow(0, [] {
        Engine& engine = TheEngine();
        std::lock_guard<std::mutex> hold(engine.lock);
        for (auto& entry : engine.tasks) entry.second->RequestStopSeeding();
        return 1;
    });
}
int P2SP_API GetFinishMessage(void) { return 0; }
int P2SP_API SetConfigInfo(void) { return 0; }
int P2SP_API UpdateRegInfo(void) { return 0; }

// Stops every task, waits for their threads and forgets them. Partial files
// stay. Every task is asked first, so their swarms say goodbye to their
// trackers side by side (each gives that a short while at most).
void P2SP_API Uninit(void) {
    NoThrow(0, [] {
        Engine& engine = TheEngine();
        std::map<int, std::unique_ptr<Task>> tasks;
        std::vector<std::unique_ptr<Task>> retired;
        {
            std::lock_guard<std::mutex> hold(engine.lock);
            tasks.swap(engine.tasks);
            retired.swap(engine.retired);
        }
        for (auto& entry : tasks) {
            entry.second->RequestStop();
            entry.second->RequestStopSeeding();
        }
        for (auto& task : retired) task->RequestStopSeeding();
        tasks.clear();  // each destructor joins its worker
        retired.clear();
        // The swarms gave their ports up: the router's mappings go too.
        engine.mapper.Shutdown();
        return 0;
    });
}

// Returns a task id > 0, or 0 when url or target is missing. The owner window
// is not used: workers never touch windows.
int P2SP_API CreateP2SPTask(HWND /*owner*/, const wchar_t* url, const wchar_t* targetPath) {
    if (!url || !*url || !targetPath || !*targetPath) return 0;
    return NoThrow(0, [&] {
        std::unique_ptr<Task> task;
        Engine& engine = TheEngine();
        int id = 0;
        {
            std::lock_guard<std::mutex> hold(engine.lock);
            id = engine.nextId++;
            if (engine.nextId <= 0) engine.nextId = 1;
        }
        task.reset(new Task(id, url, targetPath));
        task->LoadSavedProgress();  // a paused download shows its progress at once
        std::lock_guard<std::mutex> hold(engine.lock);
        engine.tasks[id] = std::move(task);
        return id;
    });
}

// Fills the record of a known task and returns 1; otherwise leaves it alone, returns 0.
int P2SP_API QueryTask(int taskId, P2spTaskInfo* info) {
    if (!info) return 0;
    return NoThrow(0, [&] {
        Engine& engine = TheEngine();
        std::lock_guard<std::mutex> hold(engine.lock);
        Task* task = FindTask(engine, taskId);
        if (!task) return 0;
        task->Query(info);
        task->QuerySwarm(info);
        return 1;
    });
}

// 1 when the task runs (or already ran to completion); 0 for an unknown id,
// or when another task is writing the same target. Never waits: a task whose
// file another task is still letting go of starts once that one has ended,
// on its own thread.
int P2SP_API StartTask(int taskId) {
    return NoThrow(0, [&] {
        Engine& engine = TheEngine();
        std::lock_guard<std::mutex> hold(engine.lock);
        Task* task = FindTask(engine, taskId);
        if (!task) return 0;
        ReapRetired(engine);
        for (auto& entry : engine.tasks) {
            Task* other = entry.second.get();
            if (other == task || other->TargetKey() != task->TargetKey()) continue;
            if (other->IsWriting()) return 0;  // one writer per file
        }
        return task->Start(engine.seedUrl, engine.swarm) ? 1 : 0;
    });
}

// Asks the task to stop; it does within about a second while data flows and
// leaves its partial file consistent. 1 for a known task.
int P2SP_API StopTask(int taskId) {
    return NoThrow(0, [&] {
        Engine& engine = TheEngine();
        std::lock_guard<std::mutex> hold(engine.lock);
        Task* task = FindTask(engine, taskId);
        if (!task) return 0;
        task->RequestStop();
        return 1;
    });
}

// Stops and forgets the task at once; its partial file stays for a later
// task. A worker still ending is waited for only by the worker of a task
// that starts on the same target, or by Uninit.
int P2SP_API RemoveTask(int taskId) {
    return NoThrow(0, [&] {
        Engine& engine = TheEngine();
        std::lock_guard<std::mutex> hold(engine.lock);
        auto it = engine.tasks.find(taskId);
        if (it == engine.tasks.end()) return 0;
        it->second->RequestStop();
        it->second->RequestStopSeeding();
        engine.retired.reserve(engine.retired.size() + 1);  // no throw after the erase
        engine.retired.push_back(std::move(it->second));
        engine.tasks.erase(it);
        ReapRetired(engine);
        return 1;
    });
}

// Option 3 stores the seed URL (valueBytes = characters x 2): a Metalink 4
// document or a torrent whose mirrors (web seeds), piece hashes and peers
// serve every later task whose file it describes. Option 4 sets the swarms'
// listening ("off", or "[ADDRESS:]PORT[-LAST]"), option 5 the engine's one
// upload cap in bytes per second, option 6 the seeding limits
// ("PERCENT:MINUTES"), option 7 whether loopback peers are allowed ("1",
// tests only), option 8 whether swarms ask the home router to map their port
// ("1", the default, or "0"), option 9 whether they speak uTP and take
// introductions ("1", the default, "0", or "only" for uTP alone). Returns 1
// for a known option with a sound value, else 0.
int P2SP_API SetP2spOption(int option, const wchar_t* value, int valueBytes) {
    return NoThrow(0, [&] {
        std::wstring text;
        if (value && valueBytes > 0) text.assign(value, wcsnlen(value, size_t(valueBytes) / sizeof(wchar_t)));
        Engine& engine = TheEngine();
        std::lock_guard<std::mutex> hold(engine.lock);
        switch (option) {
        case P2SP_OPTION_SEED_URL: engine.seedUrl = text; return 1;
        case P2SP_OPTION_LISTEN: return ParseListenOption(text, &engine.swarm) ? 1 : 0;
        case P2SP_OPTION_UPLOAD_CAP: {
            uint32_t cap = 0;
            if (!ParseUploadCapOption(text, &cap)) return 0;
            engine.upload.SetCap(cap);
            return 1;
        }
        case P2SP_OPTION_SEED_LIMITS: return ParseSeedLimitsOption(text, &engine.swarm.seedLimits) ? 1 : 0;
        case P2SP_OPTION_LOOPBACK_PEERS:
            if (text != L"0" && text != L"1") return 0;
            engine.swarm.allowLoopback = text == L"1";
            return 1;
        case P2SP_OPTION_PORT_MAPPING:
            if (text != L"0" && text != L"1") return 0;
            engine.mapper.SetEnabled(text == L"1");
            return 1;
        case P2SP_OPTION_UTP: return ParseUtpOption(text, &engine.swarm.utp) ? 1 : 0;
        default: return 0;
        }
    });
}

}  // extern "C"
