#include "p2sp/utp/UtpLedbat.h"

#include "p2sp/utp/UtpSeq.h"

#include <algorithm>

UtpLedbat::UtpLedbat(uint32_t minWindow, uint32_t maxWindow, uint32_t targetUs)
    : minWindow_(minWindow), maxWindow_(maxWindow), targetUs_(targetUs), window_(2.0 * minWindow) {}

void UtpLedbat::AddDelaySample(uint32_t timestampDiffUs, uint64_t nowUs) {
    if (timestampDiffUs == 0) return;
    if (!hasDelay_) {
        hasDelay_ = true;
        minuteLeast_ = timestampDiffUs;
        minuteStartUs_ = nowUs;
    } else if (nowUs - minuteStartUs_ >= kBaseMinuteUs) {
        previousLeast_ = minuteLeast_;
        hasPreviousMinute_ = true;
        minuteLeast_ = timestampDiffUs;
        minuteStartUs_ = nowUs;
    } else if (StampBefore(timestampDiffUs, minuteLeast_)) {
        minuteLeast_ = timestampDiffUs;
    }
    // A sample is never below the base it is part of; a delay of more than
    // a few targets says no more than "far too much" (and bounds what a
    // peer's made-up figures can do).
    const uint32_t delay = timestampDiffUs - BaseDelay();
    ourDelayUs_ = std::min<uint32_t>(delay, 16 * targetUs_);
}

uint32_t UtpLedbat::BaseDelay() const {
    if (hasPreviousMinute_ && StampBefore(previousLeast_, minuteLeast_)) return previousLeast_;
    return minuteLeast_;
}

void UtpLedbat::OnAck(size_t bytesAcked, size_t flightBytes) {
    if (bytesAcked == 0) return;  // before any delay figure the queue counts as empty
    const double offTarget = (double(targetUs_) - double(ourDelayUs_)) / targetUs_;
    window_ += kMaxIncreasePerRtt * offTarget * double(bytesAcked) / window_;
    // A sender that does not fill its window learns nothing of the path
    // beyond it: the window grows to at most a little past what was in flight.
    window_ = std::min(window_, double(flightBytes) + kMaxIncreasePerRtt);
    // Never below two packets for delay or loss (RFC 6817's least window):
    // at one packet a round trip a long queue slows a block so much that
    // the peer takes us for stalled and stops asking.
    window_ = std::clamp(window_, 2 * minWindow_, maxWindow_);
}

void UtpLedbat::OnLoss(uint64_t nowUs, uint64_t rttUs) {
    if (cutOnce_ && nowUs - lastCutUs_ < rttUs) return;
    cutOnce_ = true;
    lastCutUs_ = nowUs;
    window_ = std::max(window_ / 2, 2 * minWindow_);
}

void UtpLedbat::OnTimeout() { window_ = minWindow_; }
