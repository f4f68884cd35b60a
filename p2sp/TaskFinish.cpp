// The finish: every piece of the file checked against the seed, then the
// partial file renamed into place and, with a torrent, seeded.
#include "p2sp/Task.h"

#include "p2sp/PieceCheck.h"
#include "p2sp/TaskLimits.h"
#include "p2sp/record/RenameOver.h"
#include "p2sp/swarm/SwarmTrace.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

Task::Finish Task::CheckWholeFile() {
    if (!seedActive_) MatchSeed();
    if (!seedActive_) return Finish::kRenamed;  // no pieces to check against
    std::vector<uint64_t> bad;
    switch (CheckAllPieces(part_, seed_, stopRequested_, &bad)) {
    case PieceCheckResult::kStopped: return Finish::kStopped;
    case PieceCheckResult::kUnreadable: return Finish::kLocalError;
    case PieceCheckResult::kChecked: break;
    }
    if (bad.empty()) return Finish::kRenamed;
    for (uint64_t index : bad) {
        SwarmTrace("finished file: piece %llu fails its check", static_cast<unsigned long long>(index));
        const uint64_t begin = seed_.PieceBegin(index), end = seed_.PieceEnd(index);
        record_.done.Remove(begin, end);
        map_.Unmark(begin, end);
    }
    // The record forgets them at once: a kill now must not bring them back.
    if (!Checkpoint(true)) return Finish::kLocalError;
    Publish();
    return Finish::kPiecesBad;
}

// Tests widen the moment between the partial file and the finished one,
// when the swarm can read neither, to show that no peer's request is lost
// in it: P2SP_TEST_RENAME_PAUSE_MS in the environment (at most 10 s).
void Task::PauseBeforeRename() {
    wchar_t text[16] = L"";
    DWORD n = GetEnvironmentVariableW(L"P2SP_TEST_RENAME_PAUSE_MS", text, DWORD(std::size(text)));
    if (n == 0 || n >= std::size(text)) return;
    const unsigned long ms = std::wcstoul(text, nullptr, 10);
    if (ms > 0) WaitOrStop(DWORD(std::min<unsigned long>(ms, 10000)));
}

Task::Finish Task::Finalize() {
    // Nothing is written any more: every source has ended, and the swarm
    // holds no piece of a complete file.
    const Finish checked = CheckWholeFile();
    if (checked != Finish::kRenamed) return checked;
    // The last few milliseconds of data may not be in the record yet: a kill
    // before the rename must find the whole file recorded, not fetch its end
    // again.
    if (!Checkpoint(true)) return Finish::kLocalError;
    // Complete at start: the checked file is seeded like one finished now.
    SeedFinishedFile();
    keeper_.Quiesce();
    storage_.Detach();  // the swarm reads the finished file from now on
    PauseBeforeRename();
    if (!part_.Flush()) return Finish::kLocalError;
    if (part_.Size() != record_.totalSize && !part_.Truncate(record_.totalSize)) return Finish::kLocalError;
    part_.Close();
    // A scanner may look at the whole file now that it is closed: the rename
    // waits for it a while, and a stop ends the wait (the record still says
    // complete, so the next start renames).
    const DWORD renamed = RenameOver(partPath_, target_, MOVEFILE_WRITE_THROUGH, kRenamePatienceMs,
                                     [this](DWORD ms) { return WaitOrStop(ms); });
    if (renamed != 0) return stopRequested_.load() ? Finish::kStopped : Finish::kLocalError;
    keeper_.Forget();
    Publish();
    {
        std::lock_guard<std::mutex> hold(swarmLock_);
        if (swarm_ && !seedingStopped_.load() && storage_.OpenComplete(target_)) swarm_->Completed();
        else if (swarm_) swarm_->RequestStop();
    }
    return Finish::kRenamed;
}
