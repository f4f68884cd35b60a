#include "p2sp/swarm/SwarmStorage.h"

void SwarmStorage::AttachPart(PartFile* part) {
    std::lock_guard<std::mutex> hold(lock_);
    part_ = part;
    complete_.reset();
}

void SwarmStorage::Detach() {
    std::lock_guard<std::mutex> hold(lock_);
    part_ = nullptr;
    complete_.reset();
}

bool SwarmStorage::OpenComplete(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    std::lock_guard<std::mutex> hold(lock_);
    part_ = nullptr;
    complete_.reset(h);
    return complete_.valid();
}

bool SwarmStorage::ReadAt(uint64_t offset, void* data, DWORD size) {
    std::lock_guard<std::mutex> hold(lock_);
    if (part_) return part_->ReadAt(offset, data, size);
    if (!complete_) return false;
    OVERLAPPED at;
    ZeroMemory(&at, sizeof(at));
    at.Offset = DWORD(offset);
    at.OffsetHigh = DWORD(offset >> 32);
    DWORD got = 0;
    return ReadFile(complete_.get(), data, size, &got, &at) && got == size;
}

bool SwarmStorage::WriteAt(uint64_t offset, const void* data, DWORD size) {
    std::lock_guard<std::mutex> hold(lock_);
    return part_ && part_->WriteAt(offset, data, size);
}
