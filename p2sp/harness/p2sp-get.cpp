// p2sp-get URL PATH [options]: drives the engine DLL the way the download
// page does (Init(0), CreateP2SPTask(NULL, url, path), StartTask, QueryTask
// once a second) and exits 0 when the task finishes, else with its state.
//
// Options for tests:
//   --dll PATH               engine to load (default: QelvoP2SP.dll beside this program)
//   --seed URL               SetP2spOption(3, URL) after Init
//   --poll-ms N              query interval (default 1000)
//   --stop-after-bytes N     StopTask, RemoveTask, Uninit and exit 100 once N bytes are done
//   --pause-after-bytes N    once N bytes are done: StopTask, RemoveTask, create the task
//                            again and start it, as the page does on pause and continue
//   --kill-at-percent N      TerminateProcess itself once N percent are done
//   --kill-delay-ms N        ... N ms after that poll (at 100%: inside the finish, not before it)
//   --timeout-s N            give up with exit 124 after N seconds (default 600)
//   --seed-for N             after finishing, keep seeding N seconds (a torrent seed), then Uninit
//   --stop-seed-after N      while seeding, call StopSeed after N seconds (prints "stop seed")
//   --port P[-LAST]          the swarm's listening port (range)
//   --listen-address A       where it listens (default 127.0.0.1: a test tool stays on
//                            loopback; 0.0.0.0 listens on every interface as the engine does)
//   --no-listen              outgoing peer connections only
//   --upload-cap N           bytes per second given to peers in all (engine default 1 MiB/s)
//   --seed-limits P:M        when seeding ends by itself: P percent of the file given, or M
//                            minutes after finishing (engine default 100:30; 0 turns one off)
//   --seed-until FILE        after finishing, keep seeding until FILE exists (or the swarm ends
//                            by itself, or --timeout-s), then Uninit
//   --restart-after-ms N     StopTask then StartTask on the same task N ms after it started,
//                            as the page does on pause and continue
//   --port-mapping           SetP2spOption(8, "1"): the router is asked to map the port, whatever
//                            P2SP_PORT_MAPPING says (the scripts set it to 0)
//   --no-port-mapping        SetP2spOption(8, "0"): it is not
//   --no-utp                 SetP2spOption(9, "0"): TCP only, no introductions
//   --utp-only               SetP2spOption(9, "only"): peers over uTP alone
//   --no-loopback-peers      leave the engine's default: no peer on 127.0.0.0/8 (the harness
//                            allows them, since its tests run every peer on one machine)
// The slowest exported call is printed at the end: "api slowest <ms> ms (<name>)".
// Every poll prints "progress <completed> <total> <percent> <speed> <state>"; right
// after CreateP2SPTask it prints "created <completed> <total> <state>", and at
// the end "finished state <state>, <bytes> bytes in <ms> ms" (from StartTask)
// and one line per source: "source <n> <url>: <connections> connections,
// <bytes> bytes, <MB/s> MB/s, <bad> bad pieces[, dropped]". With a torrent seed
// every progress line is followed by "speeds <server B/s> <peer B/s>" and
// "swarm <state> peers <n> got <bytes> sent <bytes> banned <n> bad <n> port <p>
// announces <n> tracker-failures <n>"; the end adds the same swarm line.
#include "p2sp/P2spApi.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr int kExitStopped = 100;
constexpr int kExitTimeout = 124;
constexpr int kExitUsage = 2;
constexpr int kExitNoEngine = 3;

struct Engine {
    P2spInitFn Init = nullptr;
    P2spUninitFn Uninit = nullptr;
    P2spCreateTaskFn CreateP2SPTask = nullptr;
    P2spQueryTaskFn QueryTask = nullptr;
    P2spStartTaskFn StartTask = nullptr;
    P2spStopTaskFn StopTask = nullptr;
    P2spRemoveTaskFn RemoveTask = nullptr;
    P2spSetOptionFn SetP2spOption = nullptr;
    P2spStopSeedFn StopSeed = nullptr;
};

template <typename Fn>
bool Bind(HMODULE module, const char* name, Fn* fn) {
    *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
    return *fn != nullptr;
}

bool LoadEngine(const std::wstring& path, Engine* e) {
    HMODULE module = LoadLibraryW(path.c_str());
    if (!module) return false;
    return Bind(module, "Init", &e->Init) && Bind(module, "Uninit", &e->Uninit) &&
           Bind(module, "CreateP2SPTask", &e->CreateP2SPTask) && Bind(module, "QueryTask", &e->QueryTask) &&
           Bind(module, "StartTask", &e->StartTask) && Bind(module, "StopTask", &e->StopTask) &&
           Bind(module, "RemoveTask", &e->RemoveTask) && Bind(module, "SetP2spOption", &e->SetP2spOption) &&
           Bind(module, "StopSeed", &e->StopSeed);
}

std::wstring DefaultDllPath() {
    wchar_t self[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, n);
    size_t slash = path.find_last_of(L"\\/");
    return (slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1)) + L"QelvoP2SP.dll";
}

// The slowest exported call so far: none may wait on the network.
struct Slowest {
    ULONGLONG ms = 0;
    const char* name = "none";
} slowest;

template <typename Call>
auto Timed(const char* name, Call&& call) -> decltype(call()) {
    const ULONGLONG start = GetTickCount64();
    auto result = call();
    const ULONGLONG ms = GetTickCount64() - start;
    if (ms > slowest.ms) {
        slowest.ms = ms;
        slowest.name = name;
    }
    return result;
}

P2spTaskInfo Query(const Engine& e, int id) {
    P2spTaskInfo info;
    ZeroMemory(&info, sizeof(info));
    Timed("QueryTask", [&] { return e.QueryTask(id, &info); });
    return info;
}

void PrintSlowest() { printf("api slowest %llu ms (%s)\n", (unsigned long long)slowest.ms, slowest.name); }

unsigned Percent(const P2spTaskInfo& info) {
    return info.totalBytes ? unsigned(info.completedBytes * 100 / info.totalBytes) : 0;
}

int CreateAndStart(const Engine& e, const std::wstring& url, const std::wstring& path) {
    int id = Timed("CreateP2SPTask", [&] { return e.CreateP2SPTask(nullptr, url.c_str(), path.c_str()); });
    if (id <= 0) return id;
    P2spTaskInfo info = Query(e, id);
    printf("created %llu %llu %u\n", (unsigned long long)info.completedBytes,
           (unsigned long long)info.totalBytes, unsigned(info.state));
    fflush(stdout);
    if (Timed("StartTask", [&] { return e.StartTask(id); }) != 1) printf("start refused\n");
    return id;
}

void Uninit(const Engine& e) {
    Timed("Uninit", [&] {
        e.Uninit();
        return 0;
    });
    PrintSlowest();
}

void PrintSources(const P2spTaskInfo& info, const std::wstring& url, const std::wstring& seed, ULONGLONG ms) {
    for (unsigned i = 0; i < info.sourceCount && i < P2SP_MAX_SOURCE_INFO; ++i) {
        const P2spSourceInfo& s = info.sources[i];
        double mbs = ms ? double(s.bytes) / 1e6 / (double(ms) / 1000.0) : 0.0;
        printf("source %u %ls: %u connections, %llu bytes, %.1f MB/s, %u bad pieces%s\n", i,
               i == 0 ? url.c_str() : (seed.empty() ? L"mirror" : L"mirror from the seed"),
               unsigned(s.maxConnections), (unsigned long long)s.bytes, mbs, unsigned(s.badPieces),
               s.dropped ? ", dropped" : "");
    }
}

void PrintSwarm(const P2spTaskInfo& info) {
    const P2spSwarmInfo& s = info.swarm;
    printf("speeds %u %u\n", info.serverSpeed, info.peerSpeed);
    printf("swarm %u peers %u got %llu sent %llu banned %u bad %u port %u announces %u tracker-failures %u\n",
           unsigned(s.state), unsigned(s.peers), (unsigned long long)s.peerBytes, (unsigned long long)s.uploadedBytes,
           unsigned(s.bannedPeers), unsigned(s.badPieces), unsigned(s.listenPort), unsigned(s.announces),
           unsigned(s.trackerFailures));
    const P2spReachInfo& r = info.reach;
    printf("reach mapped-port %u mapping %u dialled %u accepted %u exchanged %u utp %u introduced %u\n",
           unsigned(r.mappedPort), unsigned(r.mapping), unsigned(r.dialled), unsigned(r.accepted),
           unsigned(r.exchanged), unsigned(r.utp), unsigned(r.introduced));
}

// After the download: seeding goes on for `seconds`, or until `untilFile`
// exists (when given) or the swarm ends by itself, with a swarm line a
// second; StopSeed is called after `stopAfter` seconds when not 0.
void Seed(const Engine& e, int id, unsigned seconds, unsigned stopAfter, const std::wstring& untilFile) {
    if (untilFile.empty()) printf("seeding for %u s\n", seconds);
    else printf("seeding until %ls exists\n", untilFile.c_str());
    fflush(stdout);
    ULONGLONG start = GetTickCount64(), until = start + ULONGLONG(seconds) * 1000;
    bool stopped = false;
    while (GetTickCount64() < until) {
        Sleep(untilFile.empty() ? 1000 : 200);
        if (stopAfter && !stopped && GetTickCount64() - start >= ULONGLONG(stopAfter) * 1000) {
            stopped = true;
            printf("stop seed %d\n", Timed("StopSeed", [&] { return e.StopSeed(); }));
        }
        const P2spTaskInfo info = Query(e, id);
        PrintSwarm(info);
        fflush(stdout);
        if (!untilFile.empty() &&
            (GetFileAttributesW(untilFile.c_str()) != INVALID_FILE_ATTRIBUTES || info.swarm.state == P2SP_SWARM_NONE))
            break;
    }
}

}  // namespace

int main() {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    std::wstring url, path, dll = DefaultDllPath(), seed;
    unsigned long long stopAfter = 0, pauseAfter = 0;
    unsigned killAt = 0, pollMs = 1000, timeoutS = 600, seedFor = 0, uploadCap = 0, stopSeedAfter = 0;
    unsigned restartAfterMs = 0, killDelayMs = 0;
    bool listen = true, capSet = false, loopbackPeers = true;
    int portMapping = -1;  // the engine's default
    const wchar_t* utp = nullptr;  // the engine's default
    std::wstring ports, listenAddress = L"127.0.0.1", seedLimits, seedUntil;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg = argv[i];
        bool hasValue = i + 1 < argc;
        if (arg == L"--dll" && hasValue) dll = argv[++i];
        else if (arg == L"--seed" && hasValue) seed = argv[++i];
        else if (arg == L"--poll-ms" && hasValue) pollMs = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--stop-after-bytes" && hasValue) stopAfter = wcstoull(argv[++i], nullptr, 10);
        else if (arg == L"--pause-after-bytes" && hasValue) pauseAfter = wcstoull(argv[++i], nullptr, 10);
        else if (arg == L"--kill-at-percent" && hasValue) killAt = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--kill-delay-ms" && hasValue) killDelayMs = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--timeout-s" && hasValue) timeoutS = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--seed-for" && hasValue) seedFor = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--port" && hasValue) ports = argv[++i];
        else if (arg == L"--stop-seed-after" && hasValue) stopSeedAfter = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--listen-address" && hasValue) listenAddress = argv[++i];
        else if (arg == L"--no-listen") listen = false;
        else if (arg == L"--no-loopback-peers") loopbackPeers = false;
        else if (arg == L"--no-port-mapping") portMapping = 0;
        else if (arg == L"--port-mapping") portMapping = 1;
        else if (arg == L"--no-utp") utp = L"0";
        else if (arg == L"--utp-only") utp = L"only";
        else if (arg == L"--seed-limits" && hasValue) seedLimits = argv[++i];
        else if (arg == L"--seed-until" && hasValue) seedUntil = argv[++i];
        else if (arg == L"--restart-after-ms" && hasValue) restartAfterMs = unsigned(wcstoul(argv[++i], nullptr, 10));
        else if (arg == L"--upload-cap" && hasValue) {
            uploadCap = unsigned(wcstoul(argv[++i], nullptr, 10));
            capSet = true;
        }
        else if (url.empty()) url = arg;
        else if (path.empty()) path = arg;
        else {
            fprintf(stderr, "unknown argument\n");
            return kExitUsage;
        }
    }
    LocalFree(argv);
    if (url.empty() || path.empty()) {
        fprintf(stderr, "usage: p2sp-get URL PATH [--seed URL] [--poll-ms N] [--stop-after-bytes N]\n"
                        "       [--pause-after-bytes N] [--kill-at-percent N] [--kill-delay-ms N] [--timeout-s N]\n"
                        "       [--dll PATH]\n"
                        "       [--seed-for N] [--port P[-LAST]] [--listen-address A] [--no-listen]\n"
                        "       [--upload-cap N] [--stop-seed-after N] [--seed-limits P:M] [--seed-until FILE]\n"
                        "       [--restart-after-ms N] [--no-loopback-peers] [--[no-]port-mapping]\n"
                        "       [--no-utp | --utp-only]\n");
        return kExitUsage;
    }
    Engine e;
    if (!LoadEngine(dll, &e)) {
        fprintf(stderr, "cannot load the engine\n");
        return kExitNoEngine;
    }
    e.Init(0);
    if (!seed.empty()) e.SetP2spOption(P2SP_OPTION_SEED_URL, seed.c_str(), int(seed.size() * sizeof(wchar_t)));
    std::wstring listenText = !listen ? L"off" : listenAddress + L":" + (ports.empty() ? L"6881-6889" : ports);
    if (e.SetP2spOption(P2SP_OPTION_LISTEN, listenText.c_str(), int(listenText.size() * sizeof(wchar_t))) != 1) {
        fprintf(stderr, "bad listening option\n");
        return kExitUsage;
    }
    if (capSet) {
        std::wstring cap = std::to_wstring(uploadCap);
        e.SetP2spOption(P2SP_OPTION_UPLOAD_CAP, cap.c_str(), int(cap.size() * sizeof(wchar_t)));
    }
    if (!seedLimits.empty() &&
        e.SetP2spOption(P2SP_OPTION_SEED_LIMITS, seedLimits.c_str(), int(seedLimits.size() * sizeof(wchar_t))) != 1) {
        fprintf(stderr, "bad seeding limits\n");
        return kExitUsage;
    }
    if (loopbackPeers) e.SetP2spOption(P2SP_OPTION_LOOPBACK_PEERS, L"1", 2);
    if (portMapping >= 0) e.SetP2spOption(P2SP_OPTION_PORT_MAPPING, portMapping ? L"1" : L"0", 2);
    if (utp) e.SetP2spOption(P2SP_OPTION_UTP, utp, int(wcslen(utp) * sizeof(wchar_t)));

    int id = CreateAndStart(e, url, path);
    if (id <= 0) {
        fprintf(stderr, "CreateP2SPTask failed\n");
        e.Uninit();
        return kExitNoEngine;
    }
    ULONGLONG started = GetTickCount64(), lastPrint = 0;
    P2spTaskInfo lastSources;
    ZeroMemory(&lastSources, sizeof(lastSources));
    for (;;) {
        Sleep(pollMs);
        P2spTaskInfo info = Query(e, id);
        ULONGLONG now = GetTickCount64();
        // The engine forgets its figures once the task ends; keep the last running ones.
        if (info.sourceCount) lastSources = info;
        bool done = info.state != P2SP_STATE_RUNNING;
        if (now - lastPrint >= 1000 || done) {
            lastPrint = now;
            printf("progress %llu %llu %u %u %u\n", (unsigned long long)info.completedBytes,
                   (unsigned long long)info.totalBytes, Percent(info), info.serverSpeed + info.peerSpeed,
                   unsigned(info.state));
            if (info.swarm.state != P2SP_SWARM_NONE) PrintSwarm(info);
            fflush(stdout);
        }
        if (done) {
            printf("finished state %u, %llu bytes in %llu ms\n", unsigned(info.state),
                   (unsigned long long)info.completedBytes, (unsigned long long)(now - started));
            PrintSources(lastSources, url, seed, now - started);
            PrintSwarm(Query(e, id));
            fflush(stdout);
            if (info.state == P2SP_STATE_FINISHED && (seedFor || !seedUntil.empty())) {
                const ULONGLONG left = ULONGLONG(timeoutS) * 1000 > now - started ? ULONGLONG(timeoutS) * 1000 - (now - started) : 0;
                Seed(e, id, seedUntil.empty() ? seedFor : unsigned(left / 1000), stopSeedAfter, seedUntil);
            }
            Uninit(e);
            return info.state == P2SP_STATE_FINISHED ? 0 : int(info.state);
        }
        if (killAt && info.totalBytes && Percent(info) >= killAt) {
            printf("killing at %u%%, %llu bytes\n", Percent(info), (unsigned long long)info.completedBytes);
            fflush(stdout);
            Sleep(killDelayMs);
            TerminateProcess(GetCurrentProcess(), 99);
        }
        if (restartAfterMs && now - started >= restartAfterMs) {
            restartAfterMs = 0;
            Timed("StopTask", [&] { return e.StopTask(id); });
            const int again = Timed("StartTask", [&] { return e.StartTask(id); });
            printf("restarted %d\n", again);
        }
        if (stopAfter && info.completedBytes >= stopAfter) {
            Timed("StopTask", [&] { return e.StopTask(id); });
            Timed("RemoveTask", [&] { return e.RemoveTask(id); });
            Uninit(e);
            printf("stopped at %llu\n", (unsigned long long)info.completedBytes);
            return kExitStopped;
        }
        if (pauseAfter && info.completedBytes >= pauseAfter) {
            pauseAfter = 0;
            Timed("StopTask", [&] { return e.StopTask(id); });
            Timed("RemoveTask", [&] { return e.RemoveTask(id); });
            printf("paused at %llu\n", (unsigned long long)info.completedBytes);
            id = CreateAndStart(e, url, path);
        }
        if (now - started > ULONGLONG(timeoutS) * 1000) {
            Uninit(e);
            fprintf(stderr, "timed out\n");
            return kExitTimeout;
        }
    }
}
