#include "display/frame_answers.h"

#include <algorithm>
#include <cmath>

namespace {

// The value that `percent` of the first `count` values (at least one) stay
// within: the nearest rank.
template <typename T, size_t N>
T nearestRank(std::array<T, N> values, size_t count, size_t percent) {
    const auto end = values.begin() + static_cast<std::ptrdiff_t>(count);
    const auto rank = values.begin() + static_cast<std::ptrdiff_t>((count * percent + 99) / 100 - 1);
    std::nth_element(values.begin(), rank, end);
    return *rank;
}

}  // namespace

void FrameAnswers::sent(uint32_t bytes, uint64_t atNs) {
    recent_.push(bytes);
    lastSentNs_ = atNs;
    const bool idle = linkIdle(atNs);
    const uint64_t start = std::max(atNs, linkFree_);
    const auto carried = static_cast<uint64_t>(nanosecondsPerByte() * bytes);
    linkFree_ = start + carried;
    if (count_ == FlightRoom) {  // judged by the writes: the oldest is no longer waited for
        head_ = (head_ + 1) % FlightRoom;
        --count_;
    }
    flight_[(head_ + count_) % FlightRoom] = {bytes,
                                              atNs,
                                              rateKnown_ ? start + carried + roundTripNanoseconds() : 0,
                                              rateKnown_ ? start + fittedCrossing(bytes) : 0,
                                              idle,
                                              lastLateNs_ == 0 || atNs > lastLateNs_};
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
        if (frame.fittedNs != 0) noteError(static_cast<int64_t>(sinceNs) - static_cast<int64_t>(frame.fittedNs));
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
    return static_cast<uint64_t>(nanosecondsPerByte() * bytes) + roundTripNanoseconds() + margin_;
}

uint64_t FrameAnswers::likelyCrossingNanoseconds(uint32_t bytes) const {
    if (!rateKnown_) return 0;
    return fittedCrossing(bytes) + margin_;
}

bool FrameAnswers::quickOnIdleLink(uint64_t nowNs, uint32_t bytes, uint64_t withinNs) const {
    return rateKnown_ && linkIdle(nowNs) && likelyCrossingNanoseconds(std::max(bytes, typicalBytes())) <= withinNs;
}

void FrameAnswers::noteError(int64_t lateNs) {
    errors_.push(lateNs);
    const int64_t late = nearestRank(errors_.values, errors_.count, MarginPercent);
    margin_ = static_cast<uint64_t>(std::clamp<int64_t>(late, 0, static_cast<int64_t>(MaxMargin)));
}

uint32_t FrameAnswers::typicalBytes() const {
    return recent_.count == 0 ? 0 : nearestRank(recent_.values, recent_.count, 90);
}

uint32_t FrameAnswers::largestRecentBytes() const {
    if (recent_.count == 0) return 0;
    return *std::max_element(recent_.begin(), recent_.end());
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
    if (bytes < MinSpreadBytes) {
        anchor_ = {bytes, delayNs};
    } else {
        samples_.push({bytes, delayNs});
    }
    lastSampleNs_ = nowNs;
    wantIdle_ = false;
    fit();
}

// Delay = round trip + bytes x time per byte. The time per byte is the
// weighted median of the slopes between samples at least MinSpreadBytes
// apart in size (a line after Theil and Sen: a sample taken while the link was
// still busy, or an answer read late, moves it little, where least squares
// follows it and then misjudges frames of other sizes), the round trip the
// median of what each sample leaves over; neither may come out negative (a
// fast terminal's samples are mostly noise). Sizes close together need many
// samples; far apart, two will do.
//
// The newest sample of a few bytes (at first the set-up's) stays beside the
// last 32: a scene whose frames all weigh about the same fills them with
// one size, and a line through one size alone misjudges every other.
void FrameAnswers::fit() {
    std::array<Sample, FitSamples + 1> points{};
    std::copy(samples_.begin(), samples_.end(), points.begin());
    size_t n = samples_.count;
    if (anchor_.has_value()) points[n++] = *anchor_;
    if (n < 2) return;
    uint32_t smallest = UINT32_MAX, largest = 0;
    for (size_t i = 0; i < n; ++i) {
        smallest = std::min(smallest, points[i].bytes);
        largest = std::max(largest, points[i].bytes);
    }
    if (largest - smallest < MinSpreadBytes) return;
    if (n < MinFitSamples && largest - smallest < WideSpreadBytes) return;
    // Each slope weighs as far apart as its two sizes are: the same noise in
    // the delays tilts a short pair far more.
    struct Slope {
        double value, weight;
    };
    std::array<Slope, (FitSamples + 1) * FitSamples / 2> slopes{};
    size_t pairs = 0;
    double total = 0;
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i + 1; j < n; ++j) {
            const double dx = static_cast<double>(points[j].bytes) - points[i].bytes;
            if (std::abs(dx) < MinSpreadBytes) continue;
            const double dy = static_cast<double>(points[j].delayNs) - static_cast<double>(points[i].delayNs);
            slopes[pairs++] = {dy / dx, std::abs(dx)};
            total += std::abs(dx);
        }
    }
    const auto end = slopes.begin() + static_cast<std::ptrdiff_t>(pairs);
    std::sort(slopes.begin(), end, [](const Slope& a, const Slope& b) { return a.value < b.value; });
    double median = 0, below = 0;
    for (auto s = slopes.begin(); s != end; ++s) {
        median = s->value;
        below += s->weight;
        if (below >= total / 2) break;
    }
    const double slope = std::max(0.0, median);
    std::array<double, FitSamples + 1> rests{};
    for (size_t i = 0; i < n; ++i) rests[i] = static_cast<double>(points[i].delayNs) - slope * points[i].bytes;
    nsPerByte_ = slope;
    roundTrip_ = static_cast<uint64_t>(std::max(0.0, nearestRank(rests, n, 50)));
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
