// A record of the frame clock for measuring it, written only when the
// environment variable HAZELGLOW_FRAME_LOG names a file; nothing is opened
// or written otherwise. Lines: "frame <t> <start ns> <late ns> <lead ms>"
// for each frame (start on the tickNanoseconds clock; late: after the
// moment it was to be drawn, `lead` ms before its tick passed)
// and "shift <ms> <total ms>" whenever the sound moved the clock. Buffered
// in memory and written as the demo ends.
#pragma once

#include <cstdint>

void openFrameLog();
void logFrame(int32_t t, uint64_t start, uint64_t late, uint32_t lead = 0);
void logClockShift(int32_t moved, int32_t total);
void closeFrameLog();
