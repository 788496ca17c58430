// What the terminal's answers say about the link to it. Every frame sent
// ends with a status query, which a terminal answers once it has processed
// everything before it; the answer, not the end of the write, says that
// the frame is on screen (a pseudo-terminal takes some 22 KB before a write
// blocks, half a second of bytes on a slow link).
//
// From the answers to frames sent on an idle link this learns the link's
// time per byte and its round trip (a line through the last samples that a
// few odd ones do not move), says when the link will have carried what was
// sent, and whether one more frame can still arrive by its moment. A
// terminal that has never answered, or has stopped answering, is judged by
// the writes alone: then nothing here holds a frame back.
//
// Pure arithmetic on the times it is given (CLOCK_MONOTONIC nanoseconds);
// one thread.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

class FrameAnswers {
public:
    static constexpr size_t MaxUnanswered = 3;              // frames on their way at once
    static constexpr uint64_t AnswerTimeout = 1000000000u;  // ns: an answer not back by then is lost
    static constexpr int LostBeforeSilent = 3;              // lost in a row: the terminal does not answer
    static constexpr size_t FitSamples = 32;                // the newest idle-link samples kept
    static constexpr size_t MinFitSamples = 8;              // fewer: the rate is not known yet
    static constexpr uint32_t MinSpreadBytes = 256;         // sizes closer together cannot tell the rate
    // Samples this far apart in size tell the rate from two alone (the
    // link measured at set-up: a few bytes, then a screen of them).
    static constexpr uint32_t WideSpreadBytes = 1024;
    static constexpr uint64_t ProbeEvery = 2000000000u;    // ns between idle-link samples at least
    static constexpr uint64_t LateBy = 10000000u;          // ns past its expected time: an answer is late
    static constexpr uint64_t SamplePrecision = 2000000u;  // ns
    static constexpr double LateCare = 1.25;               // each late answer: the pace this much slower
    static constexpr double LateCareDecay = 1.05;          // each answer in time: back this much
    static constexpr double MaxCare = 4.0;
    static constexpr size_t RecentFrames = 32;  // sizes kept for the typical frame
    // How late answers came against the fit's own expectation, kept for
    // the margin: the fit is a line through idle-link samples, and a link
    // (or the terminal behind it) that is a little slower when busy, or now
    // and then, makes its frames late by more than the line says.
    static constexpr size_t RecentErrors = 16;
    static constexpr size_t MarginPercent = 75;       // of the recent answers in time with the margin
    static constexpr uint64_t MaxMargin = 25000000u;  // ns
    // Nothing sent for this long on an idle link: the next frame goes even
    // if late, so that the screen moves on and the sizes are learned anew.
    static constexpr uint64_t StaleAfter = 1000000000u;  // ns

    // A frame of `bytes` bytes, ending with the query, starts on the link at
    // `atNs` (frames are sent in the order they start).
    void sent(uint32_t bytes, uint64_t atNs);
    // A frame of `bytes` was built but not sent (it could not arrive by its
    // moment): the next one, built against the same screen, weighs as much,
    // and the lead must grow for it.
    void heldBack(uint32_t bytes) { recent_.push(bytes); }
    // `count` answers, for the oldest frames unanswered, arrived after
    // `sinceNs` (0: the same as `nowNs`) and were read at `nowNs`. Only an
    // answer known to within SamplePrecision is a sample; only one that
    // arrived late for certain counts as late.
    void answered(uint32_t count, uint64_t nowNs, uint64_t sinceNs = 0);
    // Whether one more frame of `bytes` (0: of the typical size) started
    // now can be on screen by `atNs`. Also notes answers that did not come
    // in time.
    bool mayShow(uint64_t nowNs, uint64_t atNs, uint32_t bytes = 0);
    // Frames on their way are no longer waited for (the terminal was given
    // back and taken again: whatever it answers now is no guide).
    void forgetUnanswered();

    // When the link will have carried everything sent so far (the rate not
    // known: the last start).
    uint64_t linkFreeAt() const { return linkFree_; }
    // Nothing on its way and the link done with what went before.
    bool linkIdle(uint64_t nowNs) const { return count_ == 0 && linkFree_ <= nowNs; }
    // The link is idle and takes both this frame and the typical one within
    // `withinNs`: a link fast enough that a frame drawn late costs the
    // frames after it nothing. On a slow link a small frame can be quick
    // while the next full one is not.
    bool quickOnIdleLink(uint64_t nowNs, uint32_t bytes, uint64_t withinNs) const;
    // The link's time per byte and its round trip; 0 while not known.
    double nanosecondsPerByte() const { return nsPerByte_ * care_; }
    uint64_t roundTripNanoseconds() const { return static_cast<uint64_t>(static_cast<double>(roundTrip_) * care_); }
    // How long a frame of `bytes` takes at most from the start of its write
    // until the terminal has shown it, at the careful pace and with the
    // margin: whether it can make its moment; 0 while the rate is not known.
    uint64_t crossingNanoseconds(uint32_t bytes) const;
    // How long it most likely takes: the fit and the margin, not the care
    // that late answers called for (a frame held by the careful figure would
    // arrive early); when to start it so that it shows on its moment.
    uint64_t likelyCrossingNanoseconds(uint32_t bytes) const;
    // What both add to the fit: how late 3 in 4 recent answers came, at
    // most, against what the fit alone expected of them (0 when early).
    uint64_t marginNanoseconds() const { return margin_; }
    // The size that 9 in 10 recent frames (sent or held back) stayed
    // within; 0 before any.
    uint32_t typicalBytes() const;
    // The largest of the recent frames, sent or held back; 0 before any.
    uint32_t largestRecentBytes() const;

    bool answering() const { return answering_; }
    bool rateKnown() const { return rateKnown_; }
    size_t unanswered() const { return count_; }

private:
    struct InFlight {
        uint32_t bytes;
        uint64_t sentNs;
        uint64_t expectedNs;  // when its answer should come; 0: rate not known
        uint64_t fittedNs;    // the same by the fit alone, without the care
        bool idle;            // sent on an idle link: its delay is a sample
        bool careful;         // sent at the pace after the last late answer
    };
    struct Sample {
        uint32_t bytes;
        uint64_t delayNs;
    };
    // The newest N values, the oldest overwritten first; in no order.
    template <typename T, size_t N>
    struct Newest {
        std::array<T, N> values{};
        size_t count = 0, next = 0;
        void push(T value) {
            values[next] = value;
            next = (next + 1) % N;
            count = std::min(count + 1, N);
        }
        auto begin() const { return values.begin(); }
        auto end() const { return values.begin() + static_cast<std::ptrdiff_t>(count); }
    };

    // The fit's own crossing, without care or margin.
    uint64_t fittedCrossing(uint32_t bytes) const { return static_cast<uint64_t>(nsPerByte_ * bytes) + roundTrip_; }
    void noteError(int64_t lateNs);
    void expire(uint64_t nowNs);
    void addSample(uint32_t bytes, uint64_t delayNs, uint64_t nowNs);
    void fit();
    void recomputeLinkFree(uint64_t nowNs);

    // Room for more than MaxUnanswered: a terminal judged by its writes gets
    // frames regardless, and the oldest are forgotten when it is full.
    static constexpr size_t FlightRoom = 8;
    std::array<InFlight, FlightRoom> flight_{};  // oldest at head_
    size_t head_ = 0, count_ = 0;
    Newest<Sample, FitSamples> samples_;  // MinSpreadBytes and more
    std::optional<Sample> anchor_;        // the newest of fewer bytes
    Newest<uint32_t, RecentFrames> recent_;
    Newest<int64_t, RecentErrors> errors_;  // answer less expected, ns
    uint64_t margin_ = 0;

    bool answering_ = false;  // an answer came since the terminal last fell silent
    int lostInRow_ = 0;
    bool rateKnown_ = false;
    double nsPerByte_ = 0;
    uint64_t roundTrip_ = 0;
    double care_ = 1.0;
    bool wantIdle_ = false;    // the next frame goes on an idle link, for a fresh sample
    uint64_t lastLateNs_ = 0;  // when an answer last came late
    uint64_t lastSampleNs_ = 0;
    uint64_t linkFree_ = 0;
    uint64_t lastSentNs_ = 0;
};
