// The numbers a task works by, shared by its parts (Task*.cpp).
#pragma once

#include "p2sp/http/ReadSizer.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr uint64_t kOverlapBytes = 16u << 10;         // re-fetched and compared before a splice
constexpr uint64_t kFirstRequestBytes = 1u << 20;     // asked for before the size is known
constexpr uint64_t kBytesPerConnection = 1u << 20;    // a connection for every MiB missing...
constexpr int kMaxConnectionsPerSource = 16;          // ... up to this many per server
constexpr uint64_t kMinSplit = 512u << 10;            // a re-split leaves both halves at least this long
constexpr size_t kMaxSources = 8;                     // the task's URL and up to seven mirrors
constexpr DWORD kSwarmAloneMs = 20000;                // peers alone, before the task's URL is tried again
constexpr size_t kReadBufferBytes = ReadSizer::kMaxBytes;
constexpr DWORD kRenamePatienceMs = 10000;            // the finished file's rename, refused by another program's open
