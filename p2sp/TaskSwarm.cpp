// The task's swarm: started beside the HTTP sources when the seed is a
// torrent naming the file, alone for a while when the task's URL fails, and
// seeding the finished file until it is told to stop or reaches its limits.
#include "p2sp/Task.h"

#include "p2sp/TaskLimits.h"

void Task::StartSwarm() {
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (swarm_ || !torrent_.present || seedingStopped_.load()) return;
    storage_.AttachPart(&part_);
    swarm_.reset(new Swarm(torrent_.meta, torrent_.infoHash, swarmOptions_, &map_, &storage_));
    swarm_->Start();
}

void Task::EndSwarm() {
    std::unique_ptr<Swarm> ending;
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        ending = std::move(swarm_);
    }
    ending.reset();  // joins its thread
    storage_.Detach();
    // Whatever it still held is nobody's now: the next round may fetch it.
    map_.UnholdAll();
}

bool Task::IsRunning() const {
    {
        std::lock_guard<std::mutex> hold(runLock_);
        if (running_) return true;
    }
    std::lock_guard<std::mutex> hold(swarmLock_);
    return swarm_ && swarm_->Running();
}

void Task::RequestStopSeeding() {
    seedingStopped_ = true;
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (swarm_) swarm_->RequestStop();
}

void Task::QuerySwarm(P2spTaskInfo* info) {
    std::lock_guard<std::mutex> hold(swarmLock_);
    if (!swarm_) return;
    SwarmFigures f = swarm_->Figures();
    info->peerSpeed = swarm_->Running() ? f.downloadRate : 0;
    info->swarm.peerBytes = f.downloaded;
    info->swarm.uploadedBytes = f.uploaded;
    info->swarm.uploadRate = f.uploadRate;
    info->swarm.peers = f.peers;
    info->swarm.bannedPeers = f.banned;
    info->swarm.badPieces = f.badPieces;
    info->swarm.listenPort = f.listenPort;
    info->swarm.announces = f.announces;
    info->swarm.trackerFailures = f.trackerFailures;
    info->reach.mappedPort = f.mappedPort;
    info->reach.mapping = f.mapping;
    info->reach.dialled = f.dialled;
    info->reach.accepted = f.accepted;
    info->reach.exchanged = f.exchanged;
    info->reach.utp = f.utp;
    info->reach.introduced = f.introduced;
    info->swarm.state = !swarm_->Running() ? P2SP_SWARM_NONE
                        : info->state == P2SP_STATE_FINISHED ? P2SP_SWARM_SEEDING
                                                              : P2SP_SWARM_DOWNLOADING;
}

bool Task::SeedFinishedFile() {
    // Complete before any round ran (a kill after the last piece, before
    // the rename): the swarm starts here, so the file is seeded like one
    // finished in this run. After a round the swarm is running already.
    if (!torrent_.present || record_.totalSize == 0 || seedingStopped_.load()) return false;
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        if (swarm_) return true;
    }
    if (!seedActive_) MatchSeed();
    if (!seedActive_) return false;
    SegmentMap::Plan plan;
    plan.totalSize = record_.totalSize;
    plan.unit = seed_.pieceLength;
    plan.minSplit = kMinSplit;
    map_.Reset(plan, record_.done);
    StartSwarm();
    return true;
}

bool Task::SwarmCarries() {
    // The task's URL failed: while a torrent names this file its peers may
    // carry the download alone, for a while, before the URL is tried again.
    if (!torrent_.present || stopRequested_.load()) return false;
    const uint64_t length = torrent_.meta.length;
    if (record_.totalSize != 0 && record_.totalSize != length) return false;
    if (record_.totalSize == 0) {
        record_.totalSize = length;
        record_.done.Clear();
        keeper_.Reset(record_, RangeSet(), RangeSet());
        Publish();
    }
    if (!seedActive_) MatchSeed();
    if (!seedActive_) return false;
    SegmentMap::Plan plan;
    plan.totalSize = length;
    plan.unit = seed_.pieceLength;
    plan.minSplit = kMinSplit;
    map_.Reset(plan, record_.done);  // keeps what the swarm verified meanwhile
    record_.done = map_.Done();
    const uint64_t doneBefore = map_.DoneBytes();
    StartSwarm();
    const DWORD started = GetTickCount();
    while (!map_.Complete() && GetTickCount() - started < kSwarmAloneMs && WaitOrStop(100)) {
        record_.done = map_.Done();
        if (!Checkpoint(false)) break;
        std::lock_guard<std::mutex> hold(lock_);
        completedBytes_ = record_.done.CoveredBytes();
    }
    record_.done = map_.Done();
    Checkpoint(true);
    Publish();
    const uint64_t gained = record_.done.CoveredBytes() - std::min(doneBefore, record_.done.CoveredBytes());
    bytesWritten_ += gained;
    return gained > 0;
}
