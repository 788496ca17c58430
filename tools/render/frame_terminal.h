// What hazelglow-render makes of the frames as terminal bytes: the exact
// stream the demo writes to a terminal (--ansi), the same stream as an
// asciicast v2 recording (--cast), and how many bytes a frame costs
// (--stats). The terminal is the console, 80x50 cells of 8x12, unless
// --size (and --cell-aspect) name another; it then gets the presentation
// the demo gives a terminal of that size and cell shape.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "display/ansi_frame.h"
#include "display/terminal_grid.h"
#include "display/terminal_picture.h"
#include "effects/buffers.h"
#include "tools/render/frame_outputs.h"

class PKR_AsciiArt;

// The terminal the frames are made for: its size in cells, the shape of
// its cells and the demo's --fill or --exact choice.
struct TerminalSpec {
    int columns = CellColumns;
    int rows = CellRows;
    CellShape shape = ConsoleCellShape;
    FitMode fit = FitMode::Auto;
};

// The terminal's picture of the frame in the FrameBuffer and CellBuffer.
// `converter` (its tables built by the first frame) is needed when the
// terminal gets a fitted grid; so it is for the outputs below.
class TerminalPresentation {
public:
    TerminalPresentation(ColourMode mode, const TerminalSpec& terminal, const PKR_AsciiArt* converter);
    const uint16_t* cells() { return picture_.cells(glyphLut(), FrameBuffer, CellBuffer); }
    std::string_view build() { return picture_.build(glyphLut(), FrameBuffer, CellBuffer); }
    TerminalPicture& picture() { return picture_; }

private:
    const uint8_t* glyphLut() const;
    TerminalPicture picture_;
    const PKR_AsciiArt* converter_;
};

// --ansi FILE: the bytes of every frame, one after the other.
std::unique_ptr<FrameOutput> makeAnsiOutput(const std::string& path, ColourMode mode, const TerminalSpec& terminal = {},
                                            const PKR_AsciiArt* converter = nullptr);

// --cast FILE: a header line (version 2, the terminal's size, the demo's
// title), then one output event per frame at t / 1000 seconds.
std::unique_ptr<FrameOutput> makeCastOutput(const std::string& path, ColourMode mode, const TerminalSpec& terminal = {},
                                            const PKR_AsciiArt* converter = nullptr);

// A JSON string literal, quotes included, of UTF-8 bytes.
std::string jsonString(std::string_view utf8);

// Part of --stats: bytes per frame, diffed against full repaints, in 16
// and in 24-bit colours; printed after the stage timings.
std::unique_ptr<FrameOutput> makeTerminalBytesOutput(FILE* out, const TerminalSpec& terminal = {},
                                                     const PKR_AsciiArt* converter = nullptr);

// "WxH" and "W:H" option values; false when malformed or out of range.
bool parseSize(const char* text, char separator, int low, int high, int& width, int& height);
