// The terminal's answers to the demo's questions about its cells and to
// the status query that ends every frame, picked out of what its input
// delivers; any other byte is a key typed meanwhile,
// which must still end the demo. Pure: no terminal needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// What set-up asks a terminal that reports no pixel size: its cell size,
// its text area, then its device attributes, which every terminal answers
// and answers last, so that no later answer can pass for a key.
inline constexpr std::string_view CellSizeQuery = "\x1b[16t\x1b[14t\x1b[c";

struct TerminalReplies {
    int cellWidth = 0, cellHeight = 0;  // CSI 6 ; height ; width t, in pixels
    int areaWidth = 0, areaHeight = 0;  // CSI 4 ; height ; width t, in pixels
    bool attributes = false;            // CSI ? ... c: nothing more will come
    int statusAnswers = 0;              // CSI 0 n or CSI 3 n: a status query (TermSeq::StatusQuery) answered
    int32_t key = 0;                    // the first byte typed (0x100 for NUL), 0: none
};

// Reads the answers and keys in `bytes` into `replies`. An escape sequence
// cut short at the end is left for the next read: the result is how many
// bytes at the end that is (the caller counts them as typed when nothing
// follows).
size_t readReplies(std::string_view bytes, TerminalReplies& replies);

// The key code of the first byte of `bytes` (0x100 for NUL).
int32_t keyCode(std::string_view bytes);
