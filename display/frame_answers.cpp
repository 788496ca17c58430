#include "display/frame_answers.h"

#include <algorithm>

void FrameAnswers::sent(uint32_t bytes, uint64_t atNs) {
    recent_[recentNext_] = bytes;
    recentNext_ = (recentNext_ + 1) % RecentFrames;
    recentCount_ = std::min(recentCount_ + 1, RecentFrames);

    lastSentNs_ = atNs;
    const bool idle = count_ == 0 && linkFree_ <= atNs;
    const uint64_t start = std::max(atNs, linkFree_);
    const auto carried = static_cast<uint64_t>(nanosecondsPerByte() * bytes);
    linkFree_ = start + carried;
    if (count_ == FlightRoom) {  // judged by the writes: the oldest is no longer waited for
        head_ = (head_ + 1) % FlightRoom;
        --count_;
    }
    flight_[(head_ + count_) % FlightRoom] = {bytes, atNs, rateKnown_ ? start + carried + roundTripNanoseconds() : 0,
                                              idle, lastLateNs_ == 0 || atNs > lastLateNs_};
    ++count_;
}

void FrameAnswers::answered(uint32_t count, uint64_t nowNs, uint64_t sinceNs) {
    if (count == 0) return;
    if (sinceNs == 0 || sinceNs > nowNs) sinceNs = nowNs;
    const bool precise = nowNs - sinceNs <= SamplePrecision;
    answering_ = true;
    lostInRow_ = 0;
    for (; count > 0 && count_ > 0; --count) {
        const InFlight frame = flight_[head_];
        head_ = (head_ + 1) % FlightRoom;
        --count_;
        if (frame.expectedNs != 0 && sinceNs > frame.expectedNs + LateBy) {
            // Slower than the fit says: go more carefully at once, and learn
            // the link again from a frame that has it to itself. Frames sent
            // before the last such answer went at the old pace: once is enough.
            if (frame.careful) care_ = std::min(MaxCare, care_ * LateCare);
            lastLateNs_ = nowNs;
            wantIdle_ = true;
        } else if (frame.expectedNs != 0) {
            care_ = std::max(1.0, care_ / LateCareDecay);
        }
        if (frame.idle && precise && nowNs >= frame.sentNs) addSample(frame.bytes, nowNs - frame.sentNs, nowNs);
    }
    recomputeLinkFree(nowNs);
}

bool FrameAnswers::mayShow(uint64_t nowNs, uint64_t atNs, uint32_t bytes) {
    expire(nowNs);
    if (!answering_) return true;
    if (count_ >= MaxUnanswered) return false;
    const bool wantSample = !rateKnown_ || wantIdle_ || nowNs >= lastSampleNs_ + ProbeEvery;
    if (wantSample && count_ > 0) return false;
    if (!rateKnown_) return true;
    if (count_ == 0 && nowNs >= lastSentNs_ + StaleAfter) return true;
    return std::max(nowNs, linkFree_) + crossingNanoseconds(bytes != 0 ? bytes : typicalBytes()) <= atNs;
}

void FrameAnswers::forgetUnanswered() {
    head_ = count_ = 0;
    linkFree_ = 0;
    wantIdle_ = true;
}

uint64_t FrameAnswers::crossingNanoseconds(uint32_t bytes) const {
    if (!rateKnown_) return 0;
    return static_cast<uint64_t>(nanosecondsPerByte() * bytes) + roundTripNanoseconds();
}

uint32_t FrameAnswers::typicalBytes() const {
    if (recentCount_ == 0) return 0;
    std::array<uint32_t, RecentFrames> sizes = recent_;
    const auto end = sizes.begin() + static_cast<std::ptrdiff_t>(recentCount_);
    const size_t rank = (recentCount_ * 9 + 9) / 10 - 1;  // the nearest rank of 0.9
    std::nth_element(sizes.begin(), sizes.begin() + static_cast<std::ptrdiff_t>(rank), end);
    return sizes[rank];
}

uint32_t FrameAnswers::largestRecentBytes() const {
    if (recentCount_ == 0) return 0;
    return *std::max_element(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(recentCount_));
}

void FrameAnswers::expire(uint64_t nowNs) {
    bool expired = false;
    while (count_ > 0 && nowNs > flight_[head_].sentNs + AnswerTimeout) {
        head_ = (head_ + 1) % FlightRoom;
        --count_;
        expired = true;
        if (++lostInRow_ >= LostBeforeSilent && answering_) {
            // It does not answer (any more): judged by the writes from now on.
            answering_ = false;
            head_ = count_ = 0;
        }
    }
    if (expired) {
        wantIdle_ = true;
        recomputeLinkFree(nowNs);
    }
}

void FrameAnswers::addSample(uint32_t bytes, uint64_t delayNs, uint64_t nowNs) {
    samples_[sampleNext_] = {bytes, delayNs};
    sampleNext_ = (sampleNext_ + 1) % FitSamples;
    sampleCount_ = std::min(sampleCount_ + 1, FitSamples);
    lastSampleNs_ = nowNs;
    wantIdle_ = false;
    fit();
}

// Delay = round trip + bytes x time per byte, by least squares; neither
// may come out negative (a fast terminal's samples are mostly noise).
void FrameAnswers::fit() {
    if (sampleCount_ < MinFitSamples) return;
    uint32_t smallest = UINT32_MAX, largest = 0;
    double sumX = 0, sumY = 0;
    for (size_t i = 0; i < sampleCount_; ++i) {
        smallest = std::min(smallest, samples_[i].bytes);
        largest = std::max(largest, samples_[i].bytes);
        sumX += samples_[i].bytes;
        sumY += static_cast<double>(samples_[i].delayNs);
    }
    if (largest - smallest < MinSpreadBytes) return;
    const double n = static_cast<double>(sampleCount_);
    const double meanX = sumX / n, meanY = sumY / n;
    double sxx = 0, sxy = 0;
    for (size_t i = 0; i < sampleCount_; ++i) {
        const double dx = samples_[i].bytes - meanX;
        sxx += dx * dx;
        sxy += dx * (static_cast<double>(samples_[i].delayNs) - meanY);
    }
    double slope = std::max(0.0, sxy / sxx);
    double intercept = meanY - slope * meanX;
    if (intercept < 0) {  // through the origin instead
        double xx = 0, xy = 0;
        for (size_t i = 0; i < sampleCount_; ++i) {
            xx += static_cast<double>(samples_[i].bytes) * samples_[i].bytes;
            xy += static_cast<double>(samples_[i].bytes) * static_cast<double>(samples_[i].delayNs);
        }
        slope = xy / xx;
        intercept = 0;
    }
    nsPerByte_ = slope;
    roundTrip_ = static_cast<uint64_t>(intercept);
    rateKnown_ = true;
}

void FrameAnswers::recomputeLinkFree(uint64_t nowNs) {
    uint64_t free = count_ == 0 ? std::min(linkFree_, nowNs) : nowNs;
    for (size_t i = 0; i < count_; ++i) {
        const InFlight& frame = flight_[(head_ + i) % FlightRoom];
        free = std::max(free, frame.sentNs) + static_cast<uint64_t>(nanosecondsPerByte() * frame.bytes);
    }
    linkFree_ = free;
}
