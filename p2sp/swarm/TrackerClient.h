// Announces one torrent to its HTTP trackers on a thread of its own, so a
// slow or dead tracker never holds up the peers: "started" first, then every
// interval the tracker asks for (its min interval while the swarm has
// nobody to trade with), "completed" when the file is done and "stopped" at
// the end. The trackers of a tier are tried in an order
// shuffled once (so clients spread over them), the one that answered first
// next time; tiers one after another. HTTP trackers over WinINet, UDP
// trackers over Winsock. Stop cuts a running announce short; the "stopped"
// announce gets a short while, then is given up. Peers it learns wait in a
// queue.
#pragma once

#include "base/ScopedHandle.h"
#include "p2sp/swarm/TrackerAnnounce.h"
#include "p2sp/swarm/UdpTracker.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class TrackerClient {
public:
    // What the announces report; the swarm keeps them current.
    struct Figures {
        std::atomic<uint64_t> uploaded{0};
        std::atomic<uint64_t> downloaded{0};
        std::atomic<uint64_t> left{0};
    };

    static constexpr DWORD kAnnounceTimeoutMs = 30000;
    static constexpr DWORD kStoppedBudgetMs = 1500;  // for the last announce, while the task ends

    TrackerClient(std::vector<std::vector<std::string>> tiers, const AnnounceParams& identity, Figures* figures);
    ~TrackerClient();  // stops, announcing "stopped" once
    TrackerClient(const TrackerClient&) = delete;
    TrackerClient& operator=(const TrackerClient&) = delete;

    void Start();
    void Completed();  // announce "completed" now
    // The port peers reach us at changed (a router mapped it): announce now.
    void SetPort(uint16_t port);
    // The swarm has nobody to trade with: announce again as soon as the
    // tracker allows (its "min interval", else 5 minutes), not at the full
    // interval, since peers that announced after us may be listed now.
    void WantPeers();
    void Stop();
    // Peers learned since the last call.
    std::vector<PeerAddress> TakePeers();
    int Announces() const { return announces_.load(); }
    int Failures() const { return failures_.load(); }

private:
    void Run();
    // One announce over the tiers; false when no tracker answered usefully.
    bool Announce(AnnounceEvent event, AnnounceReply* reply);
    // Until the next announce: `regularMs`, or `earlyMs` while peers are
    // wanted; a stop, a new port or the completed file end it at once.
    void WaitForNext(DWORD regularMs, DWORD earlyMs);

    std::vector<std::vector<std::string>> tiers_;
    UdpTrackerTiming udpTiming_;
    std::string lastGood_;  // the tracker that answered last (tracker thread only)
    AnnounceParams identity_;
    Figures* figures_;  // not owned
    ScopedHandle wake_;  // auto reset: completed
    ScopedHandle stopEvent_;  // manual reset: cuts a running announce short
    std::atomic<bool> stop_{false};
    std::atomic<bool> completed_{false};
    std::atomic<bool> urgent_{false};     // announce now: completed, or a new port
    std::atomic<bool> wantPeers_{false};
    std::atomic<uint16_t> port_{0};
    std::atomic<int> announces_{0};
    std::atomic<int> failures_{0};
    std::mutex lock_;
    std::vector<PeerAddress> peers_;
    std::thread thread_;
};
