// Terminal bytes for a frame of cells: what the console sends a POSIX
// terminal to show the CellBuffer. Pure: builds bytes into its own buffer,
// never writes them, so the demo, the render tool and the tests share it.
//
// The cell grid (the 80x50 CellBuffer, or a picture converted to the
// terminal's size) is centred in a larger terminal; a smaller one shows the
// centred part that fits. Only cells that changed since the previous
// frame are sent (the cursor skips unchanged runs where that is shorter);
// colours are set only where the attribute changes. Each frame is one
// synchronized update and leaves the cursor hidden at the top left; a
// clear paints the whole terminal, margins included, in the picture's black.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "display/terminal_grid.h"
#include "effects/buffers.h"

// How attributes become colours: the 16 ANSI colours (the terminal's theme
// decides how they look) or 24-bit colours from the classic console palette.
enum class ColourMode : uint8_t { Ansi16, TrueColour };

// The mode a terminal announces through $COLORTERM ("truecolor" or "24bit").
ColourMode colourModeFor(const char* colorterm);

// Worst case of one frame: every visible cell is written at most once, each
// after at most one cursor move and one colour change. Terminal coordinates
// are at most 65 535 (five digits).
inline constexpr size_t MaxCursorMoveBytes = 14;  // CSI 65535;65535H
inline constexpr size_t MaxSgrBytes = 36;         // CSI 38;2;255;255;255;48;2;255;255;255m
inline constexpr size_t MaxGlyphBytes = 3;        // UTF-8 of a BMP character
inline constexpr size_t FrameOverheadBytes = 64;  // sync begin/end, reset, black and clear, home, hide
constexpr size_t maxFrameBytes(size_t visibleCells) {
    return visibleCells * (MaxCursorMoveBytes + MaxSgrBytes + MaxGlyphBytes) + FrameOverheadBytes;
}
inline constexpr size_t MaxFrameBytes = maxFrameBytes(CellCount);  // the 80x50 grid

// The part of a cell grid a terminal of a given size shows, and where.
struct Viewport {
    int sourceColumn, sourceRow;  // first cell shown
    int columns, rows;            // cells shown
    int screenColumn, screenRow;  // 0-based terminal position of the first one
};
Viewport viewportFor(int terminalColumns, int terminalRows, int gridColumns = CellColumns, int gridRows = CellRows);

class AnsiFrameBuilder {
public:
    explicit AnsiFrameBuilder(ColourMode mode = ColourMode::Ansi16, int terminalColumns = CellColumns,
                              int terminalRows = CellRows);

    // A new terminal size (from 0 to 65 535 each way): the next frame
    // clears the screen and repaints.
    void setTerminalSize(int columns, int rows);
    // The size of the cell grids build() is given (80x50 unless set, at
    // most 400x200); a new size clears the screen and repaints, too.
    void setGrid(int columns, int rows);
    // The terminal's content is unknown (first frame, resume): clear and repaint.
    void invalidate();
    // The next frame sends every visible cell, without clearing.
    void repaintAll() { known_.havePrevious = false; }

    // The bytes that bring the terminal from the previous frame to `cells`
    // (the grid's cells, row-major). Valid until the next call.
    std::string_view build(const uint16_t* cells);
    // Takes the last build() back, as if it had never been made: for a
    // frame that turned out too large to send. Only after keepTakeBack().
    void takeBack();
    // From now on each build() can be taken back (allocates once).
    void keepTakeBack();

    ColourMode colourMode() const { return mode_; }
    const Viewport& viewport() const { return view_; }
    int terminalColumns() const { return terminalColumns_; }
    int terminalRows() const { return terminalRows_; }

private:
    static constexpr int UnknownAttribute = -1;

    char* appendCursorTo(char* p, int row, int column);
    size_t sgrLength(int from, uint8_t to) const;
    char* appendSgr(char* p, int from, uint8_t to) const;
    void placeGrid();

    ColourMode mode_;
    int terminalColumns_ = 0;
    int terminalRows_ = 0;
    int gridColumns_ = CellColumns;
    int gridRows_ = CellRows;
    Viewport view_{};
    // What the builder knows of the terminal, as one value so that a build
    // can be taken back whole.
    struct Known {
        bool clearPending = true;
        bool havePrevious = false;
        int attribute = UnknownAttribute;       // the terminal's current colours
        int cursorRow = -1, cursorColumn = -1;  // screen position, -1: unknown
    };
    Known known_;
    std::unique_ptr<uint16_t[]> previous_;  // as large as the largest grid
    // previous_ and known_ as they were before the last build, when kept.
    std::unique_ptr<uint16_t[]> before_;
    Known knownBefore_;
    std::unique_ptr<char[]> buffer_;
    size_t bufferBytes_ = 0;
};

// The title sequence for a code page 437 title, control bytes left out.
// `out` must hold MaxTitleSequenceBytes; returns the length.
inline constexpr size_t MaxTitleBytes = 255;  // longer titles are cut
inline constexpr size_t MaxTitleSequenceBytes = 4 + 3 * MaxTitleBytes + 1 + 1;
size_t buildTitleSequence(const char* cp437Title, char* out);
