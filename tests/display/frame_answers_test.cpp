// What the terminal's answers teach about the link: its rate learned from
// a simulated link (from frames, and from the two delays measured at
// set-up), answers that never come, a late answer, which link is quick,
// and no more than three frames on their way at once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <deque>

#include "display/frame_answers.h"

namespace {

constexpr uint64_t Ms = 1000000u;

// A link that carries `nsPerByte` per byte, one frame after another, and
// whose terminal answers `roundTrip` after the last byte of each.
class SimulatedLink {
public:
    SimulatedLink(double nsPerByte, uint64_t roundTrip) : nsPerByte_(nsPerByte), roundTrip_(roundTrip) {}

    void send(FrameAnswers& answers, uint32_t bytes, uint64_t atNs) {
        answers.sent(bytes, atNs);
        const uint64_t extra = free_ > atNs ? queuedExtra_ : 0;
        free_ = std::max(free_, atNs) + static_cast<uint64_t>(nsPerByte_ * bytes);
        due_.push_back(free_ + roundTrip_ + extra);
    }
    // Hands over every answer due by `nowNs`, each at its own moment.
    void deliver(FrameAnswers& answers, uint64_t nowNs) {
        while (!due_.empty() && due_.front() <= nowNs) {
            answers.answered(1, due_.front());
            due_.pop_front();
        }
    }
    uint64_t nextAnswer() const { return due_.empty() ? UINT64_MAX : due_.front(); }
    size_t onTheirWay() const { return due_.size(); }
    double& nsPerByte() { return nsPerByte_; }
    // Added to the answer of a frame sent behind another.
    uint64_t& queuedExtra() { return queuedExtra_; }
    // The answer of the frame sent last comes this much later (the
    // terminal was busy elsewhere for a moment).
    void holdUpLast(uint64_t ns) { due_.back() += ns; }

private:
    double nsPerByte_;
    uint64_t roundTrip_;
    uint64_t queuedExtra_ = 0;
    uint64_t free_ = 0;
    std::deque<uint64_t> due_;
};

// Frames every 40 ms for `frames` frames, sent whenever mayShow allows,
// sizes from 500 to 7 500 bytes; returns how many were sent.
int playFrames(FrameAnswers& answers, SimulatedLink& link, uint64_t& now, int frames) {
    int sentCount = 0;
    for (int f = 0; f < frames; ++f, now += 40 * Ms) {
        link.deliver(answers, now);
        if (!answers.mayShow(now, now + 2000 * Ms)) continue;
        link.send(answers, 500 + static_cast<uint32_t>(f * 1237 % 7000), now);
        ++sentCount;
    }
    link.deliver(answers, now);
    return sentCount;
}

// Answers that have learned `link` from 300 frames, and everything sent
// answered by `now`, `pause` after them.
FrameAnswers learned(SimulatedLink& link, uint64_t& now, uint64_t pause) {
    FrameAnswers answers;
    playFrames(answers, link, now, 300);
    EXPECT_TRUE(answers.rateKnown());
    now += pause;
    link.deliver(answers, now);
    return answers;
}

TEST(FrameAnswers, TheRateIsLearnedFromFramesOnAnIdleLinkAndJudgesWhatCanArriveInTime) {
    FrameAnswers answers;
    SimulatedLink link(25000.0, 3 * Ms);  // 40 000 B/s
    uint64_t now = 1000 * Ms;
    EXPECT_TRUE(answers.mayShow(now, now)) << "a terminal that has not answered yet is judged by its writes";
    EXPECT_EQ(answers.crossingNanoseconds(1000), 0u);
    EXPECT_EQ(answers.typicalBytes(), 0u);

    // Not known yet: one frame on its way at a time, so every one is a sample.
    link.send(answers, 1000, now);
    link.deliver(answers, link.nextAnswer());
    EXPECT_TRUE(answers.answering());
    for (int f = 0; f < 7; ++f) {
        now += 40 * Ms;
        link.deliver(answers, now);
        if (answers.mayShow(now, now)) link.send(answers, 1000, now);
        EXPECT_LE(link.onTheirWay(), 1u);
    }
    EXPECT_FALSE(answers.rateKnown()) << "sizes within 256 bytes of each other cannot tell the rate";

    playFrames(answers, link, now, 200);
    ASSERT_TRUE(answers.rateKnown());
    EXPECT_NEAR(answers.nanosecondsPerByte(), 25000.0, 250.0);
    EXPECT_NEAR(static_cast<double>(answers.roundTripNanoseconds()), 3.0 * Ms, 0.2 * Ms);
    EXPECT_NEAR(static_cast<double>(answers.crossingNanoseconds(4000)), 103.0 * Ms, 1.5 * Ms);

    // On an idle link a frame's bytes keep it busy for their own time.
    now += 2000 * Ms;
    link.deliver(answers, now);
    ASSERT_EQ(link.onTheirWay(), 0u);
    EXPECT_LE(answers.linkFreeAt(), now);
    link.send(answers, 2000, now);
    EXPECT_NEAR(static_cast<double>(answers.linkFreeAt() - now), 50.0 * Ms, 1.0 * Ms);
    EXPECT_FALSE(answers.mayShow(now + 10 * Ms, now + 5000 * Ms)) << "the last sample is old: this one is awaited";
    // Whether the next frame can be on screen in time: once the link is
    // free, the typical frame's crossing.
    now += 60 * Ms;
    link.deliver(answers, now);
    const uint64_t arrives = std::max(now, answers.linkFreeAt()) + answers.crossingNanoseconds(answers.typicalBytes());
    EXPECT_TRUE(answers.mayShow(now, arrives));
    EXPECT_FALSE(answers.mayShow(now, arrives - 5 * Ms)) << "it could not arrive by its moment";
    // A frame whose own size is known is judged by that size.
    const uint32_t typical = answers.typicalBytes();
    EXPECT_TRUE(answers.mayShow(now, arrives - 5 * Ms, typical / 2));
    EXPECT_FALSE(answers.mayShow(now, arrives, typical * 2));
}

TEST(FrameAnswers, ATerminalThatStopsAnsweringIsJudgedByItsWritesAndOneThatAnswersAgainIsNot) {
    FrameAnswers answers;
    uint64_t now = 5000 * Ms;
    // Never answered: nothing held back, however much is on its way.
    for (int f = 0; f < 20; ++f, now += 40 * Ms) {
        EXPECT_TRUE(answers.mayShow(now, now));
        answers.sent(3000, now);
    }
    EXPECT_FALSE(answers.answering());

    // It answers: from now on the answers count.
    answers.answered(1, now);
    EXPECT_TRUE(answers.answering());
    answers.forgetUnanswered();
    EXPECT_EQ(answers.unanswered(), 0u);
    answers.sent(3000, now);
    EXPECT_FALSE(answers.mayShow(now + 40 * Ms, now + 2000 * Ms)) << "rate unknown: one frame at a time";
    // One answer lost (a second without it), then answers again: still answering.
    EXPECT_TRUE(answers.mayShow(now + 1001 * Ms, now + 3000 * Ms));
    EXPECT_TRUE(answers.answering());
    now += 1001 * Ms;
    answers.sent(3000, now);
    answers.answered(1, now + 20 * Ms);
    EXPECT_TRUE(answers.answering());

    // Three lost in a row: it no longer answers, and frames go by the writes alone.
    for (int lost = 0; lost < 3; ++lost) {
        now += 1100 * Ms;
        EXPECT_TRUE(answers.mayShow(now, now + 3000 * Ms)) << "the lost one no longer waited for";
        answers.sent(3000, now);
        EXPECT_FALSE(answers.mayShow(now + 500 * Ms, now + 3000 * Ms)) << "lost " << lost;
    }
    EXPECT_TRUE(answers.mayShow(now + 1001 * Ms, now + 1001 * Ms));
    EXPECT_FALSE(answers.answering());
    EXPECT_EQ(answers.unanswered(), 0u);
}

TEST(FrameAnswers, ALateAnswerSlowsThePaceAndTheNextFrameGoesOnAnIdleLink) {
    SimulatedLink link(8000.0, 2 * Ms);  // 125 000 B/s
    uint64_t now = 1000 * Ms;
    FrameAnswers answers = learned(link, now, 500 * Ms);
    // A fresh sample on the idle link.
    ASSERT_TRUE(answers.mayShow(now, now + 2000 * Ms));
    link.send(answers, 2000, now);
    now = link.nextAnswer();
    link.deliver(answers, now);
    const double before = answers.nanosecondsPerByte();

    // The link slows to half its rate: the answers are late. The first
    // frame went on an idle link (a sample), the other two after it.
    link.nsPerByte() = 16000.0;
    for (int f = 0; f < 3; ++f) {
        ASSERT_TRUE(answers.mayShow(now, now + 2000 * Ms)) << f;
        link.send(answers, 6000, now + static_cast<uint64_t>(f) * Ms);
    }
    link.deliver(answers, link.nextAnswer());
    EXPECT_GE(answers.nanosecondsPerByte(), before * FrameAnswers::LateCare * 0.999);
    const double afterFirst = answers.nanosecondsPerByte();
    link.deliver(answers, link.nextAnswer());
    EXPECT_NEAR(answers.nanosecondsPerByte(), afterFirst * FrameAnswers::LateCare, afterFirst * 1e-6);
    // Held until the link is idle, for a fresh sample.
    EXPECT_FALSE(answers.mayShow(link.nextAnswer() - 1 * Ms, link.nextAnswer() + 2000 * Ms));
    const uint64_t idle = link.nextAnswer();
    link.deliver(answers, idle);
    EXPECT_TRUE(answers.mayShow(idle, idle + 2000 * Ms));

    // Frames at the new rate: the samples teach it, and the pace follows.
    playFrames(answers, link, now = idle, 600);
    EXPECT_GT(answers.nanosecondsPerByte(), 14000.0);
    EXPECT_LT(answers.nanosecondsPerByte(), 16000.0 * FrameAnswers::LateCare);
}

TEST(FrameAnswers, FramesOfOneSizeKeepTheLineThroughTheFewBytesOfTheSetUp) {
    SimulatedLink link(25000.0, 3 * Ms);  // 40 000 B/s
    FrameAnswers answers;
    uint64_t now = 1000 * Ms;
    for (uint32_t bytes : {60u, 5500u}) {  // the set-up
        link.send(answers, bytes, now);
        link.deliver(answers, now = link.nextAnswer());
    }
    // A scene whose frames all weigh about the same, each answer up to 4 ms
    // late as a busy terminal's are, and two the terminal held up: the last
    // 32 samples are of one size.
    uint32_t noise = 12345;
    for (uint32_t f = 0; f < 40; ++f) {
        const uint32_t bytes = f % 2 == 0 ? 5400u : 5700u;
        link.send(answers, bytes, now);
        noise = noise * 1103515245u + 12345u;
        link.holdUpLast((noise >> 16) % 4000 * 1000);
        if (f == 30 || f == 35) link.holdUpLast(60 * Ms);
        link.deliver(answers, now = link.nextAnswer());
        now += 10 * Ms;
    }
    ASSERT_TRUE(answers.rateKnown());
    // Frames of other sizes are still judged right, give or take the
    // answers' 2 ms late on average.
    EXPECT_NEAR(static_cast<double>(answers.likelyCrossingNanoseconds(900)), 27.5 * Ms, 2.0 * Ms);
    EXPECT_NEAR(static_cast<double>(answers.likelyCrossingNanoseconds(3000)), 80.0 * Ms, 2.0 * Ms);
}

TEST(FrameAnswers, AnswersALittleLateWidenTheMarginAndAnswersInTimeNarrowItAgain) {
    SimulatedLink link(5000.0, 2 * Ms);  // 200 000 B/s
    uint64_t now = 1000 * Ms;
    FrameAnswers answers = learned(link, now, 500 * Ms);
    EXPECT_LT(answers.marginNanoseconds(), 100000u) << "a link that keeps to its fit needs no margin";
    const uint64_t fitted = answers.crossingNanoseconds(4000);

    // Frames sent behind another come 3 ms later than the line through the
    // idle-link samples says: too little to count as late, so only the
    // margin takes it in. Half the answers are late: the margin is their lateness.
    link.queuedExtra() = 3 * Ms;
    for (int f = 0; f < 32; ++f, now += 100 * Ms) {
        link.send(answers, 4000, now);
        link.send(answers, 4000, now + 1 * Ms);
        link.deliver(answers, now + 99 * Ms);
    }
    EXPECT_NEAR(static_cast<double>(answers.marginNanoseconds()), 3.0 * Ms, 0.01 * Ms);
    EXPECT_NEAR(static_cast<double>(answers.crossingNanoseconds(4000)), static_cast<double>(fitted + 3 * Ms),
                0.01 * Ms);

    link.queuedExtra() = 0;
    for (int f = 0; f < 32; ++f, now += 100 * Ms) {
        link.send(answers, 4000, now);
        link.send(answers, 4000, now + 1 * Ms);
        link.deliver(answers, now + 99 * Ms);
    }
    EXPECT_LT(answers.marginNanoseconds(), 100000u);
}

TEST(FrameAnswers, NoMoreThanThreeFramesAreOnTheirWay) {
    SimulatedLink link(1000.0, 1 * Ms);
    uint64_t now = 1000 * Ms;
    FrameAnswers answers = learned(link, now, 3000 * Ms);
    // A fresh sample first (the last is over two seconds old), then more at once.
    ASSERT_TRUE(answers.mayShow(now, now + 10000 * Ms));
    link.send(answers, 1000, now);
    EXPECT_FALSE(answers.mayShow(now, now + 10000 * Ms));
    now = link.nextAnswer();
    link.deliver(answers, now);
    for (uint32_t f = 0; f < FrameAnswers::MaxUnanswered; ++f) {
        ASSERT_TRUE(answers.mayShow(now, now + 10000 * Ms)) << f;
        link.send(answers, 1000, now);
    }
    EXPECT_FALSE(answers.mayShow(now, now + 10000 * Ms));
    EXPECT_EQ(answers.unanswered(), FrameAnswers::MaxUnanswered);
    answers.answered(1, now + 2 * Ms);
    EXPECT_TRUE(answers.mayShow(now + 2 * Ms, now + 10000 * Ms));
    // The typical size: 9 in 10 of the recent frames stayed within it.
    FrameAnswers sizes;
    for (uint32_t b = 1; b <= 10; ++b) sizes.sent(b * 100, b);
    EXPECT_EQ(sizes.typicalBytes(), 900u);
    EXPECT_EQ(sizes.largestRecentBytes(), 1000u);
    // A frame held back weighs as one sent: the next is built against the same screen.
    sizes.heldBack(6000);
    EXPECT_EQ(sizes.largestRecentBytes(), 6000u);
}

TEST(FrameAnswers, OnlyALinkThatTakesTheTypicalFrameInAMomentIsQuick) {
    // 1 MB/s: the typical frame of 500 to 7 500 bytes crosses in under 10 ms.
    SimulatedLink fast(1000.0, 1 * Ms);
    uint64_t now = 1000 * Ms;
    FrameAnswers fastAnswers = learned(fast, now, 500 * Ms);
    EXPECT_TRUE(fastAnswers.quickOnIdleLink(now, 600, 10 * Ms));
    EXPECT_FALSE(fastAnswers.quickOnIdleLink(now, 600, 5 * Ms)) << "the typical frame takes longer than 5 ms";
    fast.send(fastAnswers, 600, now);
    EXPECT_FALSE(fastAnswers.quickOnIdleLink(now, 600, 10 * Ms)) << "a frame on its way: the link is not idle";

    // 125 000 B/s: a frame of 600 bytes alone would cross in 6 ms, the
    // typical one takes some 55 ms.
    SimulatedLink slow(8000.0, 1 * Ms);
    now = 1000 * Ms;
    FrameAnswers slowAnswers = learned(slow, now, 500 * Ms);
    ASSERT_LT(slowAnswers.likelyCrossingNanoseconds(600), 10 * Ms);
    EXPECT_FALSE(slowAnswers.quickOnIdleLink(now, 600, 10 * Ms));
    EXPECT_FALSE(FrameAnswers{}.quickOnIdleLink(now, 600, 10 * Ms)) << "the rate not known yet";
}

TEST(FrameAnswers, TwoDelaysFarApartInSizeTellTheRateBeforeTheFirstFrame) {
    // The link measured at set-up: a few bytes, then a screen of blanks.
    SimulatedLink link(25000.0, 4 * Ms);  // 40 000 B/s
    FrameAnswers answers;
    uint64_t now = 1000 * Ms;
    link.send(answers, 40, now);
    link.deliver(answers, now = link.nextAnswer());
    EXPECT_FALSE(answers.rateKnown()) << "one delay cannot tell a rate from a round trip";
    link.send(answers, 5500, now);
    link.deliver(answers, now = link.nextAnswer());
    ASSERT_TRUE(answers.rateKnown());
    EXPECT_NEAR(answers.nanosecondsPerByte(), 25000.0, 100.0);
    EXPECT_NEAR(static_cast<double>(answers.roundTripNanoseconds()), 4.0 * Ms, 0.1 * Ms);
    // So the first frame is judged by its own size: a full one cannot make
    // a moment 100 ms away, a small one can.
    EXPECT_FALSE(answers.mayShow(now, now + 100 * Ms, 5000));
    EXPECT_TRUE(answers.mayShow(now, now + 100 * Ms, 1000));

    // Sizes close together still need their many samples.
    FrameAnswers close;
    SimulatedLink other(25000.0, 4 * Ms);
    for (uint32_t bytes : {1000u, 1900u}) {
        other.send(close, bytes, now);
        other.deliver(close, now = other.nextAnswer());
    }
    EXPECT_FALSE(close.rateKnown());
}

}  // namespace
