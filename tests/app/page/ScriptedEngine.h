// An engine whose tasks report whatever the test scripts, behind a real
// download manager. Every call is recorded in order.
#pragma once

#include "engine/DownloadManager.h"

#include <map>
#include <string>
#include <vector>

struct ScriptedTask {
    std::wstring url;
    std::wstring target;
    bool owned = false;    // created with an owner window
    bool running = false;  // started and not stopped since
    bool removed = false;
    P2spTaskInfo info{};
};

class ScriptedEngine {
public:
    // The one engine of the test program; Reset clears its tasks and calls.
    static ScriptedEngine& Get();
    void Reset();
    EngineEntryPoints Entries() const;

    // "Init", "Create <id> <url>", "Start <id>", "Stop <id>", "Query <id>",
    // "Remove <id>", "Option <n> <value>", "Uninit".
    std::vector<std::string> calls;
    std::map<int, ScriptedTask> tasks;
    int nextId = 1;
    // Task creation for URLs ending with this is refused (-1); empty: none.
    std::wstring refuseSuffix;

    // The newest task that is not removed and whose URL ends with suffix;
    // null when there is none.
    ScriptedTask* Newest(const std::wstring& suffix);
    int NewestId(const std::wstring& suffix);
    // Live (not removed) tasks for URLs ending with suffix.
    int LiveCount(const std::wstring& suffix) const;
    size_t Count(const std::string& prefix) const;
    // Index of the first call starting with prefix at or after from; npos when none.
    size_t Find(const std::string& prefix, size_t from = 0) const;
};
