// The machine identifier sent with every statistics report, fetched once
// from the carried verification library and kept for the process's life.
#pragma once

#include <mutex>
#include <string>

class CMachineId {
public:
    // Room for the identifier, terminator included.
    static constexpr int kCapacity = 100;
    static constexpr int kVerifierResourceId = 121;
    static const wchar_t kVerifierResourceType[];

    // A cache filled from the verification resource (id, type), extracted to
    // libraryPath for each fetch.
    CMachineId(int resourceId, const wchar_t* resourceType, const std::wstring& libraryPath);

    // The cached identifier, fetching it first when the cache is empty. One
    // caller fills the cache at a time; others wait and then use it. The
    // library file is deleted after every fetch. False (out empty) when the
    // fetch fails; a later call tries again.
    bool Get(std::wstring& out);

private:
    bool Fetch();

    const int resourceId_;
    const wchar_t* const resourceType_;
    const std::wstring libraryPath_;
    std::mutex mutex_;
    std::wstring cache_;  // empty until the first successful fetch
};

// The process-wide identifier: the verification resource ("VERYFY_DLL" 121)
// extracted to the configured machine-identifier library path. Defined by
// the application's wiring (EngineWiring.cpp), which knows that path.
bool GetMachineId(std::wstring& out);
