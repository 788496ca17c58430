// The platform's thread, lock and stop-signal routines the output backends
// are built on (threads_posix.cpp or threads_win32.cpp).
#include <gtest/gtest.h>

#include <atomic>

#include "audio/output.h"

namespace {

using namespace Aurix;

struct Counter {
    void* mutex = nullptr;
    int value = 0;
    std::atomic<int> runs{0};
};

void addUnderTheLock(void* argument) {
    auto* counter = static_cast<Counter*>(argument);
    for (int i = 0; i < 100000; ++i) {
        enterMutex(counter->mutex);
        ++counter->value;
        leaveMutex(counter->mutex);
    }
    counter->runs.fetch_add(1);
}

TEST(AudioThreads, TwoThreadsCountingUnderTheMutexLoseNoUpdate) {
    Counter counter;
    counter.mutex = createMutex();
    ASSERT_NE(counter.mutex, nullptr);
    ThreadHandle* first = startThread(addUnderTheLock, &counter);
    ThreadHandle* second = startThread(addUnderTheLock, &counter);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    joinThread(first);
    joinThread(second);
    EXPECT_EQ(counter.runs.load(), 2);
    EXPECT_EQ(counter.value, 200000);
    destroyMutex(counter.mutex);
}

TEST(AudioStopSignal, WaitLastsUntilTheDeadlineWhenNothingIsRaised) {
    StopSignal* signal = createStopSignal();
    ASSERT_NE(signal, nullptr);
    EXPECT_FALSE(stopRaised(signal));
    const uint64_t start = monotonicNanoseconds();
    const uint64_t deadline = start + 30000000u;  // 30 ms
    EXPECT_FALSE(waitForStop(signal, deadline));
    EXPECT_GE(monotonicNanoseconds(), deadline);
    // A deadline already past returns at once.
    EXPECT_FALSE(waitForStop(signal, start));
    destroyStopSignal(signal);
}

void raiseIt(void* argument) {
    raiseStopSignal(static_cast<StopSignal*>(argument));
}

TEST(AudioStopSignal, RaisedFromAnotherThreadEndsTheWaitAndStaysRaised) {
    StopSignal* signal = createStopSignal();
    ASSERT_NE(signal, nullptr);
    ThreadHandle* raiser = startThread(raiseIt, signal);
    ASSERT_NE(raiser, nullptr);
    // An hour: only the raise can end this wait.
    EXPECT_TRUE(waitForStop(signal, monotonicNanoseconds() + 3600ull * 1000000000u));
    joinThread(raiser);
    EXPECT_TRUE(stopRaised(signal));
    EXPECT_TRUE(waitForStop(signal, monotonicNanoseconds() + 3600ull * 1000000000u));
    destroyStopSignal(signal);
}

TEST(AudioClock, MonotonicNanosecondsNeverGoBack) {
    uint64_t previous = monotonicNanoseconds();
    for (int i = 0; i < 100000; ++i) {
        const uint64_t now = monotonicNanoseconds();
        ASSERT_GE(now, previous);
        previous = now;
    }
}

}  // namespace
