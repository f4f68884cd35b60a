// Where a swarm reads and writes its pieces: the task's partial file while
// it downloads, the finished file (read only) while it seeds. The task
// detaches the partial file before it closes or renames it; reads and writes
// in between fail and the swarm tries again later.
#pragma once

#include "base/ScopedHandle.h"
#include "p2sp/record/PartialFile.h"

#include <windows.h>

#include <cstdint>
#include <mutex>
#include <string>

class SwarmStorage {
public:
    void AttachPart(PartFile* part);
    void Detach();
    // The finished file, opened for reading while it is seeded. Others may
    // read it (the player's checks, the installer run from it) but neither
    // write nor delete it meanwhile: pieces served must stay the verified ones.
    bool OpenComplete(const std::wstring& path);

    bool ReadAt(uint64_t offset, void* data, DWORD size);
    bool WriteAt(uint64_t offset, const void* data, DWORD size);

private:
    std::mutex lock_;
    PartFile* part_ = nullptr;  // not owned
    ScopedHandle complete_;
};
