// What hazelglow-render makes of the frames as terminal bytes: the exact
// stream the demo writes to an 80x50 terminal (--ansi), the same stream as
// an asciicast v2 recording (--cast), and how many bytes a frame costs
// (--stats).
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "display/ansi_frame.h"
#include "tools/render/frame_outputs.h"

// --ansi FILE: the bytes of every frame, one after the other.
std::unique_ptr<FrameOutput> makeAnsiOutput(const std::string& path, ColourMode mode);

// --cast FILE: a header line (version 2, 80 x 50, the demo's title), then
// one output event per frame at t / 1000 seconds.
std::unique_ptr<FrameOutput> makeCastOutput(const std::string& path, ColourMode mode);

// A JSON string literal, quotes included, of UTF-8 bytes.
std::string jsonString(std::string_view utf8);

// Part of --stats: bytes per frame, diffed against full repaints, in 16
// and in 24-bit colours; printed after the stage timings.
std::unique_ptr<FrameOutput> makeTerminalBytesOutput(FILE* out);
