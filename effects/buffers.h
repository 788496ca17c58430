// Shared pixel buffers, the cell grid and the two image strips.
//
// Every effect draws into these static buffers; they live for the whole run
// and are never reallocated. Pixels are 0x00RRGGBB words (readers ignore the
// top byte), row-major, pixel (x, y) at y * ScreenWidth + x. Cells are
// 16-bit words: low byte the code page 437 character, high byte the console
// attribute (low nibble foreground, high nibble background).
#pragma once

#include <cstddef>
#include <cstdint>

#include "effects/result.h"

inline constexpr int ScreenWidth = 320;
inline constexpr int ScreenHeight = 200;
inline constexpr int ScreenPixels = ScreenWidth * ScreenHeight;
// The pixel the rotations and zooms turn about, and the last column and row.
inline constexpr int CentreX = ScreenWidth / 2;   // 160
inline constexpr int CentreY = ScreenHeight / 2;  // 100
inline constexpr int LastColumn = ScreenWidth - 1;
inline constexpr int LastRow = ScreenHeight - 1;
inline constexpr int CellColumns = 80;
inline constexpr int CellRows = 50;
inline constexpr int CellCount = CellColumns * CellRows;

extern uint32_t FrameBuffer[ScreenPixels];
extern uint32_t FeedbackBuffer[ScreenPixels];
extern uint32_t ZoomSourceBuffer[ScreenPixels];
extern uint16_t CellBuffer[CellCount];

// A decoded picture of 320-pixel rows, four bytes per pixel (red, green,
// blue, alpha), made of 320x200 frames stacked top to bottom. Effects read
// only the red byte of a pixel and treat it as lit when it is not 0.
struct ImageStrip {
    const uint8_t* pixels = nullptr;
    int32_t frameCount = 0;

    static constexpr int FrameBytes = ScreenPixels * 4;

    // Red byte of pixel i (0..63999) of frame k; the caller keeps k in range.
    bool lit(int32_t frame, int32_t pixel) const {
        return pixels[static_cast<size_t>(frame) * FrameBytes + static_cast<size_t>(pixel) * 4] != 0;
    }
};

extern ImageStrip wipeStrip;
extern ImageStrip textStrip;

// Most frames a strip may hold (a 320 x 12 800 image, 16 MB decoded).
inline constexpr int32_t MaxStripFrames = 64;

// Loads a strip from a PNG file with stb_image (4 channels). Only a PNG 320
// pixels wide and a whole number of 200-row frames high (1 to
// MaxStripFrames) is taken; its header is checked before anything is
// decoded, so a file that claims a huge picture costs nothing. Otherwise
// the strip is left empty and the result says "path: problem", fit for the
// one-line message that stops start-up. The pixels are owned by the program
// until exit.
Result loadImageStrip(const char* path, ImageStrip& strip);

// The same from a whole file's bytes already in memory; `name` names it in
// the message. The pixels are stb_image's (stbi_image_free frees them).
Result loadImageStripFromMemory(const uint8_t* bytes, size_t size, const std::string& name, ImageStrip& strip);
