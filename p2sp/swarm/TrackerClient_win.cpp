#include "p2sp/swarm/TrackerClient.h"

#include "p2sp/swarm/TrackerFetch.h"
#include "p2sp/swarm/UdpTracker.h"

#include <algorithm>
#include <random>

namespace {

constexpr int64_t kMinIntervalS = 15;
constexpr int64_t kMaxIntervalS = 3600;
// How soon a swarm that wants peers may announce again when the tracker
// names no "min interval" (UDP trackers never do).
constexpr int64_t kUnnamedMinIntervalS = 300;
constexpr DWORD kFirstRetryMs = 15000;
constexpr DWORD kMaxRetryMs = 300000;

bool IsUdpTracker(const std::string& url) { return url.compare(0, 6, "udp://") == 0; }

}  // namespace

TrackerClient::TrackerClient(std::vector<std::vector<std::string>> tiers, const AnnounceParams& identity,
                             Figures* figures)
    : tiers_(std::move(tiers)), identity_(identity), figures_(figures), port_(identity.port) {
    wake_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    stopEvent_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::mt19937 random(identity_.key ^ 0x5bd1e995u);
    for (auto& tier : tiers_) std::shuffle(tier.begin(), tier.end(), random);
}

TrackerClient::~TrackerClient() { Stop(); }

void TrackerClient::Start() {
    if (thread_.joinable() || !wake_ || !stopEvent_) return;
    thread_ = std::thread(&TrackerClient::Run, this);
}

void TrackerClient::Completed() {
    completed_ = true;
    urgent_ = true;
    if (wake_) SetEvent(wake_.get());
}

void TrackerClient::SetPort(uint16_t port) {
    if (port_.exchange(port) == port) return;
    urgent_ = true;
    if (wake_) SetEvent(wake_.get());
}

void TrackerClient::WantPeers() {
    if (!wantPeers_.exchange(true) && wake_) SetEvent(wake_.get());
}

void TrackerClient::WaitForNext(DWORD regularMs, DWORD earlyMs) {
    HANDLE events[2] = {stopEvent_.get(), wake_.get()};
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD due = wantPeers_.load() ? std::min(regularMs, earlyMs) : regularMs;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= due) return;
        const DWORD woke = WaitForMultipleObjects(2, events, FALSE, due - elapsed);
        // A wish for peers only shortens the wait; anything else ends it.
        if (woke != WAIT_OBJECT_0 + 1 || urgent_.exchange(false)) return;
    }
}

void TrackerClient::Stop() {
    stop_ = true;
    if (stopEvent_) SetEvent(stopEvent_.get());
    if (thread_.joinable()) thread_.join();
}

std::vector<PeerAddress> TrackerClient::TakePeers() {
    std::lock_guard<std::mutex> hold(lock_);
    std::vector<PeerAddress> out;
    out.swap(peers_);
    return out;
}

bool TrackerClient::Announce(AnnounceEvent event, AnnounceReply* reply) {
    AnnounceParams params = identity_;
    params.port = port_.load();
    params.event = event;
    params.uploaded = figures_->uploaded.load();
    params.downloaded = figures_->downloaded.load();
    params.left = figures_->left.load();
    if (event == AnnounceEvent::kStopped) params.numWant = 0;
    for (auto& tier : tiers_) {
        for (size_t i = 0; i < tier.size(); ++i) {
            if (stop_.load()) return false;
            if (IsUdpTracker(tier[i])) {
                if (!UdpAnnounce(tier[i], params, stop_, reply, udpTiming_)) continue;
            } else {
                std::string body;
                if (!FetchTrackerReply(BuildAnnounceUrl(tier[i], params), stopEvent_.get(), kAnnounceTimeoutMs,
                                       kMaxAnnounceReplyBytes, &body))
                    continue;
                if (!ParseAnnounceReply(reinterpret_cast<const uint8_t*>(body.data()), body.size(), reply)) continue;
            }
            if (!reply->failure.empty()) continue;
            // The tracker that answered is tried first next time.
            lastGood_ = tier[i];
            std::rotate(tier.begin(), tier.begin() + i, tier.begin() + i + 1);
            ++announces_;
            return true;
        }
    }
    if (!stop_.load()) ++failures_;
    return false;
}

void TrackerClient::Run() {
    AnnounceEvent event = AnnounceEvent::kStarted;
    bool startedSent = false, completedSent = false;
    DWORD retryMs = kFirstRetryMs;
    while (!stop_.load()) {
        if (completed_.load() && startedSent && !completedSent) event = AnnounceEvent::kCompleted;
        AnnounceReply reply;
        DWORD waitMs, earlyMs;
        wantPeers_ = false;  // a wish from now on asks for the next announce
        if (Announce(event, &reply)) {
            if (event == AnnounceEvent::kStarted) startedSent = true;
            if (event == AnnounceEvent::kCompleted) completedSent = true;
            event = AnnounceEvent::kNone;
            {
                std::lock_guard<std::mutex> hold(lock_);
                peers_.insert(peers_.end(), reply.peers.begin(), reply.peers.end());
            }
            int64_t interval = std::min(std::max(reply.interval, kMinIntervalS), kMaxIntervalS);
            int64_t early = reply.minInterval > 0 ? reply.minInterval : kUnnamedMinIntervalS;
            early = std::min(std::max(early, kMinIntervalS), interval);
            waitMs = DWORD(interval * 1000);
            earlyMs = DWORD(early * 1000);
            retryMs = kFirstRetryMs;
        } else {
            waitMs = earlyMs = retryMs;
            retryMs = std::min(retryMs * 2, kMaxRetryMs);
        }
        WaitForNext(waitMs, earlyMs);
    }
    // "stopped" goes only to the tracker that answered last, once, and is
    // given up after a short while: a task that ends must not wait on a
    // tracker.
    if (startedSent && !lastGood_.empty()) {
        AnnounceParams params = identity_;
        params.port = port_.load();
        params.event = AnnounceEvent::kStopped;
        params.numWant = 0;
        params.uploaded = figures_->uploaded.load();
        params.downloaded = figures_->downloaded.load();
        params.left = figures_->left.load();
        if (IsUdpTracker(lastGood_)) {
            // Sent while stopping: one short try that the stop flag does not cut.
            static const std::atomic<bool> never{false};
            AnnounceReply reply;
            UdpAnnounce(lastGood_, params, never, &reply, UdpTrackerTiming{kStoppedBudgetMs, 1});
        } else {
            std::string body;
            FetchTrackerReply(BuildAnnounceUrl(lastGood_, params), nullptr, kStoppedBudgetMs, kMaxAnnounceReplyBytes,
                              &body);
        }
    }
}
