#include "p2sp/swarm/SwarmLoop.h"

#include "p2sp/swarm/Swarm.h"

Swarm::Swarm(const TorrentMeta& meta, const uint8_t infoHash[20], const SwarmOptions& options, SegmentMap* map,
             SwarmStorage* storage)
    : loop_(new SwarmLoop(meta, infoHash, options, map, storage)) {}

Swarm::~Swarm() { Stop(); }

bool Swarm::Start() {
    if (thread_.joinable()) return true;
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&Swarm::Run, this);
    return true;
}

void Swarm::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void Swarm::RequestStop() { stop_ = true; }

void Swarm::Completed() { loop_->MarkCompleted(); }

SwarmFigures Swarm::Figures() { return loop_->Figures(); }

void Swarm::Run() {
    if (loop_->Open())
        while (!stop_.load() && !loop_->Finished()) loop_->RunOnce();
    loop_->Shutdown();
    running_ = false;
}
