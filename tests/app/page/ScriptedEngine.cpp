#include "tests/app/page/ScriptedEngine.h"

#include "tests/support/TestSupport.h"

#include <cstring>

namespace {

ScriptedEngine& E() { return ScriptedEngine::Get(); }

void Record(const std::string& text) { E().calls.push_back(text); }

bool EndsWith(const std::wstring& text, const std::wstring& suffix) {
    return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

int P2SP_API Init(int) {
    Record("Init");
    return 1;
}
int P2SP_API NoOp() { return 0; }
void P2SP_API Uninit() { Record("Uninit"); }
int P2SP_API Create(HWND owner, const wchar_t* url, const wchar_t* target) {
    if (!E().refuseSuffix.empty() && EndsWith(url, E().refuseSuffix)) {
        Record("Create -1 " + testing_support::Narrow(url));
        return -1;
    }
    const int id = E().nextId++;
    ScriptedTask& task = E().tasks[id];
    task.url = url;
    task.target = target;
    task.owned = owner != nullptr;
    Record("Create " + std::to_string(id) + " " + testing_support::Narrow(url));
    return id;
}
int P2SP_API Query(int id, P2spTaskInfo* info) {
    Record("Query " + std::to_string(id));
    auto it = E().tasks.find(id);
    if (it == E().tasks.end()) return 0;
    std::memcpy(info, &it->second.info, sizeof(*info));
    return 1;
}
int P2SP_API Start(int id) {
    Record("Start " + std::to_string(id));
    auto it = E().tasks.find(id);
    if (it == E().tasks.end() || it->second.removed) return 0;
    it->second.running = true;
    return 1;
}
int P2SP_API Stop(int id) {
    Record("Stop " + std::to_string(id));
    auto it = E().tasks.find(id);
    if (it == E().tasks.end()) return 0;
    it->second.running = false;
    return 1;
}
int P2SP_API Remove(int id) {
    Record("Remove " + std::to_string(id));
    auto it = E().tasks.find(id);
    if (it == E().tasks.end()) return 0;
    it->second.removed = true;
    it->second.running = false;
    return 1;
}
int P2SP_API Option(int option, const wchar_t* value, int bytes) {
    Record("Option " + std::to_string(option) + " " + testing_support::Narrow(std::wstring(value, bytes / 2)));
    return 1;
}

}  // namespace

ScriptedEngine& ScriptedEngine::Get() {
    static ScriptedEngine engine;
    return engine;
}

void ScriptedEngine::Reset() {
    calls.clear();
    tasks.clear();
    nextId = 1;
    refuseSuffix.clear();
}

EngineEntryPoints ScriptedEngine::Entries() const {
    EngineEntryPoints entries;
    entries.Init = Init;
    entries.Login = NoOp;
    entries.Uninit = Uninit;
    entries.CreateP2SPTask = Create;
    entries.QueryTask = Query;
    entries.StopSeed = NoOp;
    entries.GetFinishMessage = NoOp;
    entries.RemoveTask = Remove;
    entries.SetConfigInfo = NoOp;
    entries.UpdateRegInfo = NoOp;
    entries.SetP2spOption = Option;
    entries.StartTask = Start;
    entries.StopTask = Stop;
    return entries;
}

ScriptedTask* ScriptedEngine::Newest(const std::wstring& suffix) {
    const int id = NewestId(suffix);
    return id > 0 ? &tasks[id] : nullptr;
}

int ScriptedEngine::NewestId(const std::wstring& suffix) {
    for (auto it = tasks.rbegin(); it != tasks.rend(); ++it) {
        if (!it->second.removed && EndsWith(it->second.url, suffix)) return it->first;
    }
    return -1;
}

int ScriptedEngine::LiveCount(const std::wstring& suffix) const {
    int count = 0;
    for (const auto& entry : tasks) count += !entry.second.removed && EndsWith(entry.second.url, suffix);
    return count;
}

size_t ScriptedEngine::Count(const std::string& prefix) const {
    size_t count = 0;
    for (const std::string& call : calls) count += call.compare(0, prefix.size(), prefix) == 0;
    return count;
}

size_t ScriptedEngine::Find(const std::string& prefix, size_t from) const {
    for (size_t i = from; i < calls.size(); ++i) {
        if (calls[i].compare(0, prefix.size(), prefix) == 0) return i;
    }
    return std::string::npos;
}
