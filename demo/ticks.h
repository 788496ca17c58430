// The clock the frame loop runs on: an unsigned 32-bit millisecond tick
// count that wraps about every 49.7 days, like the console's GetTickCount,
// the same clock in nanoseconds, and the wait for the next frame's tick.
// One file per platform: ticks_posix.cpp sleeps until the tick,
// ticks_win32.cpp busy-waits as the console demo always did.
#pragma once

#include <cstdint>

uint32_t tickCount();

// The clock behind tickCount, unwrapped, in nanoseconds: tickCount() is
// tickNanoseconds() / 1 000 000 modulo 2^32.
uint64_t tickNanoseconds();

// True once the tick count `now` is past `target`. Compared as the signed
// distance between the two, so the wait stays right when the 32-bit tick
// count wraps during a run.
constexpr bool tickPassed(uint32_t now, uint32_t target) {
    return static_cast<int32_t>(now - target) > 0;
}

// Returns once the tick count is past `target`, and how many nanoseconds
// after that moment it returned (0 when it returned on the moment; the
// whole delay when the target had passed long before).
uint64_t waitForTickPast(uint32_t target);

// When the tick count passes `target`, as a tickNanoseconds() value, seen
// from `nowNanoseconds`: the start of millisecond target + 1. Targets more
// than 2^31 ms away in either direction are taken as already passed.
constexpr uint64_t tickPassMoment(uint32_t target, uint64_t nowNanoseconds) {
    const uint64_t nowMilliseconds = nowNanoseconds / 1000000u;
    const int32_t ahead = static_cast<int32_t>(target - static_cast<uint32_t>(nowMilliseconds));
    return static_cast<uint64_t>(static_cast<int64_t>(nowMilliseconds) + ahead + 1) * 1000000u;
}
