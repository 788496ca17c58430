#include "display/ansi_frame.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "display/cp437_utf8.h"
#include "display/palette.h"
#include "display/term_sequences.h"

namespace {

char* put(char* p, std::string_view s) {
    std::memcpy(p, s.data(), s.size());
    return p + s.size();
}

char* putNumber(char* p, unsigned value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) *p++ = digits[--n];
    return p;
}

size_t digitCount(unsigned value) {
    size_t n = 1;
    while (value >= 10) {
        value /= 10;
        ++n;
    }
    return n;
}

// Console attribute nibbles count bit 0 blue, bit 1 green, bit 2 red; ANSI
// colour numbers count bit 0 red, bit 1 green, bit 2 blue.
int ansiColour(unsigned nibble) {
    return static_cast<int>(((nibble & 1) << 2) | (nibble & 2) | ((nibble & 4) >> 2));
}

char* putRgb(char* p, std::string_view prefix, const Rgb& c) {
    p = put(p, prefix);
    p = putNumber(p, c.r);
    *p++ = TermSeq::ParamSeparator;
    p = putNumber(p, c.g);
    *p++ = TermSeq::ParamSeparator;
    return putNumber(p, c.b);
}

char* putColour(char* p, ColourMode mode, unsigned nibble, bool background) {
    if (mode == ColourMode::TrueColour)
        return putRgb(p, background ? TermSeq::SgrBackgroundRgb : TermSeq::SgrForegroundRgb, ConsolePalette[nibble]);
    const bool bright = (nibble & 8) != 0;
    const int base = background ? (bright ? TermSeq::SgrBrightBackground : TermSeq::SgrBackground)
                                : (bright ? TermSeq::SgrBrightForeground : TermSeq::SgrForeground);
    return putNumber(p, static_cast<unsigned>(base + ansiColour(nibble)));
}

}  // namespace

ColourMode colourModeFor(const char* colorterm) {
    if (colorterm != nullptr && (std::strcmp(colorterm, "truecolor") == 0 || std::strcmp(colorterm, "24bit") == 0))
        return ColourMode::TrueColour;
    return ColourMode::Ansi16;
}

Viewport viewportFor(int terminalColumns, int terminalRows, int gridColumns, int gridRows) {
    Viewport v{};
    v.columns = std::clamp(terminalColumns, 0, gridColumns);
    v.rows = std::clamp(terminalRows, 0, gridRows);
    v.sourceColumn = (gridColumns - v.columns) / 2;
    v.sourceRow = (gridRows - v.rows) / 2;
    v.screenColumn = std::max(0, (terminalColumns - gridColumns) / 2);
    v.screenRow = std::max(0, (terminalRows - gridRows) / 2);
    return v;
}

AnsiFrameBuilder::AnsiFrameBuilder(ColourMode mode, int terminalColumns, int terminalRows)
    : mode_(mode), previous_(new uint16_t[MaxGridColumns * MaxGridRows]()) {
    setTerminalSize(terminalColumns, terminalRows);
}

void AnsiFrameBuilder::setTerminalSize(int columns, int rows) {
    terminalColumns_ = std::clamp(columns, 0, 65535);
    terminalRows_ = std::clamp(rows, 0, 65535);
    placeGrid();
}

void AnsiFrameBuilder::setGrid(int columns, int rows) {
    gridColumns_ = std::clamp(columns, 1, MaxGridColumns);
    gridRows_ = std::clamp(rows, 1, MaxGridRows);
    placeGrid();
}

// Sizes change only on a resize, never per frame: the buffer grows then.
void AnsiFrameBuilder::placeGrid() {
    view_ = viewportFor(terminalColumns_, terminalRows_, gridColumns_, gridRows_);
    const size_t needed =
        std::max(MaxFrameBytes, maxFrameBytes(static_cast<size_t>(view_.columns) * static_cast<size_t>(view_.rows)));
    if (needed > bufferBytes_) {
        buffer_.reset(new char[needed]);
        bufferBytes_ = needed;
    }
    invalidate();
}

void AnsiFrameBuilder::invalidate() {
    known_.clearPending = true;
    known_.havePrevious = false;
    known_.attribute = UnknownAttribute;
    known_.cursorRow = known_.cursorColumn = -1;
}

char* AnsiFrameBuilder::appendCursorTo(char* p, int row, int column) {
    if (row == known_.cursorRow && column >= known_.cursorColumn) {
        const unsigned gap = static_cast<unsigned>(column - known_.cursorColumn);
        if (gap > 0) {
            p = put(p, TermSeq::Csi);
            if (gap > 1) p = putNumber(p, gap);
            *p++ = TermSeq::CursorForwardFinal;
        }
    } else {
        p = put(p, TermSeq::Csi);
        if (row != 0 || column != 0) p = putNumber(p, static_cast<unsigned>(row + 1));
        if (column != 0) {
            *p++ = TermSeq::ParamSeparator;
            p = putNumber(p, static_cast<unsigned>(column + 1));
        }
        *p++ = TermSeq::CursorPositionFinal;
    }
    known_.cursorRow = row;
    known_.cursorColumn = column;
    return p;
}

char* AnsiFrameBuilder::appendSgr(char* p, int from, uint8_t to) const {
    if (from == to) return p;
    const bool foreground = from == UnknownAttribute || ((from ^ to) & 0x0F) != 0;
    const bool background = from == UnknownAttribute || ((from ^ to) & 0xF0) != 0;
    p = put(p, TermSeq::Csi);
    if (foreground) p = putColour(p, mode_, to & 0x0Fu, false);
    if (foreground && background) *p++ = TermSeq::ParamSeparator;
    if (background) p = putColour(p, mode_, to >> 4, true);
    *p++ = TermSeq::SgrFinal;
    return p;
}

size_t AnsiFrameBuilder::sgrLength(int from, uint8_t to) const {
    char scratch[MaxSgrBytes];
    return static_cast<size_t>(appendSgr(scratch, from, to) - scratch);
}

void AnsiFrameBuilder::keepTakeBack() {
    if (!before_) before_.reset(new uint16_t[MaxGridColumns * MaxGridRows]());
}

void AnsiFrameBuilder::takeBack() {
    if (!before_) return;
    std::copy(before_.get(), before_.get() + gridColumns_ * gridRows_, previous_.get());
    known_ = knownBefore_;
}

std::string_view AnsiFrameBuilder::build(const uint16_t* cells) {
    if (before_) {
        std::copy(previous_.get(), previous_.get() + gridColumns_ * gridRows_, before_.get());
        knownBefore_ = known_;
    }
    char* const start = buffer_.get();
    char* p = put(start, TermSeq::SyncBegin);
    if (known_.clearPending) {
        // The clear fills with the current background: the picture's black,
        // so the margins are the picture's and not the theme's background.
        p = put(p, TermSeq::ColoursReset);
        p = appendSgr(p, UnknownAttribute, 0);
        known_.attribute = 0;
        p = put(p, TermSeq::ClearScreen);
        known_.clearPending = false;
    }
    const bool everything = !known_.havePrevious;
    const Viewport& v = view_;
    const int lastScreenColumn = terminalColumns_ - 1;

    for (int r = 0; r < v.rows; ++r) {
        const int row = v.sourceRow + r;
        const int screenRow = v.screenRow + r;
        const uint16_t* source = cells + row * gridColumns_ + v.sourceColumn;
        uint16_t* shown = previous_.get() + row * gridColumns_ + v.sourceColumn;
        int next = 0;  // first column of this row still to consider
        while (true) {
            int c = next;
            while (c < v.columns && !everything && source[c] == shown[c]) ++c;
            if (c == v.columns) break;
            const int screenColumn = v.screenColumn + c;
            const uint8_t attribute = static_cast<uint8_t>(source[c] >> 8);

            // Skip the unchanged run before this cell by moving the cursor,
            // unless writing the run again (it is on screen already) is shorter.
            bool rewrite = false;
            if (screenRow == known_.cursorRow && known_.cursorColumn >= v.screenColumn &&
                known_.cursorColumn < screenColumn) {
                const int gap = screenColumn - known_.cursorColumn;
                const int runStart = known_.cursorColumn - v.screenColumn;
                size_t rewriteBytes = 0;
                int state = known_.attribute;
                for (int k = runStart; k < c; ++k) {
                    const uint8_t a = static_cast<uint8_t>(shown[k] >> 8);
                    rewriteBytes += sgrLength(state, a) + Cp437Utf8[static_cast<uint8_t>(shown[k])].length;
                    state = a;
                }
                rewriteBytes += sgrLength(state, attribute);
                const size_t moveBytes = TermSeq::Csi.size() + 1 +
                                         (gap > 1 ? digitCount(static_cast<unsigned>(gap)) : 0) +
                                         sgrLength(known_.attribute, attribute);
                if (rewriteBytes < moveBytes) rewrite = true;
                if (rewrite) {
                    for (int k = runStart; k < c; ++k) {
                        const uint8_t a = static_cast<uint8_t>(shown[k] >> 8);
                        p = appendSgr(p, known_.attribute, a);
                        known_.attribute = a;
                        p = put(p, {Cp437Utf8[static_cast<uint8_t>(shown[k])].bytes,
                                    Cp437Utf8[static_cast<uint8_t>(shown[k])].length});
                    }
                    known_.cursorColumn = screenColumn;
                }
            }
            if (!rewrite) p = appendCursorTo(p, screenRow, screenColumn);

            p = appendSgr(p, known_.attribute, attribute);
            known_.attribute = attribute;
            const Utf8Char& glyph = Cp437Utf8[static_cast<uint8_t>(source[c])];
            p = put(p, {glyph.bytes, glyph.length});
            shown[c] = source[c];
            // Without wrapping the cursor stays put on the last column.
            if (screenColumn < lastScreenColumn)
                known_.cursorColumn = screenColumn + 1;
            else
                known_.cursorRow = known_.cursorColumn = -1;
            next = c + 1;
        }
    }
    // Cells outside the viewport are not on screen: they count as unknown
    // when a resize brings them in, which always repaints anyway.
    known_.havePrevious = true;

    // The cursor rests at the top left: a terminal that reflows its screen
    // on a resize does so around the cursor, which then cuts nothing.
    if (known_.cursorRow != 0 || known_.cursorColumn != 0) p = appendCursorTo(p, 0, 0);
    p = put(p, TermSeq::CursorHide);
    p = put(p, TermSeq::SyncEnd);
    assert(static_cast<size_t>(p - start) <= bufferBytes_);
    return {start, static_cast<size_t>(p - start)};
}

size_t buildTitleSequence(const char* cp437Title, char* out) {
    char* p = put(out, TermSeq::TitleBegin);
    // Cut the title to MaxTitleBytes characters; the table maps every code,
    // control codes included, to a printable character.
    char title[MaxTitleBytes + 1];
    size_t length = 0;
    while (length < MaxTitleBytes && cp437Title[length] != '\0') {
        title[length] = cp437Title[length];
        ++length;
    }
    title[length] = '\0';
    p += cp437ToUtf8(title, p, 3 * MaxTitleBytes + 1);
    p = put(p, TermSeq::TitleEnd);
    return static_cast<size_t>(p - out);
}
