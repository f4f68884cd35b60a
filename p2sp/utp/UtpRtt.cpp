#include "p2sp/utp/UtpRtt.h"

void UtpRtt::AddSample(uint64_t sampleUs) {
    if (sampleUs > kMaxSampleUs) return;
    if (!hasSample_) {
        hasSample_ = true;
        rttUs_ = sampleUs;
        varianceUs_ = sampleUs / 2;
        return;
    }
    const uint64_t delta = sampleUs > rttUs_ ? sampleUs - rttUs_ : rttUs_ - sampleUs;
    varianceUs_ = (varianceUs_ * 3 + delta) / 4;
    rttUs_ = (rttUs_ * 7 + sampleUs) / 8;
}

uint64_t UtpRtt::TimeoutUs() const {
    uint64_t timeout = kInitialTimeoutUs;
    if (hasSample_) {
        timeout = rttUs_ + varianceUs_ * 4;
        if (timeout < kMinTimeoutUs) timeout = kMinTimeoutUs;
    }
    for (unsigned i = 0; i < timeoutsInRow_ && timeout < kMaxTimeoutUs; ++i) timeout *= 2;
    return timeout < kMaxTimeoutUs ? timeout : kMaxTimeoutUs;
}
