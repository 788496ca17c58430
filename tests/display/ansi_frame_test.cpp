#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "demo/pipeline.h"
#include "display/ansi_frame.h"
#include "display/ascii_art.h"
#include "display/cp437_utf8.h"
#include "display/palette.h"
#include "display/term_sequences.h"
#include "tests/display/vterm_screen.h"

namespace {

using Cells = std::vector<uint16_t>;

// ANSI colour number of each console colour (console: bit 0 blue, bit 2
// red; ANSI: bit 0 red, bit 2 blue), bright ones at 8..15.
constexpr int AnsiIndexOf[16] = {0, 4, 2, 6, 1, 5, 3, 7, 8, 12, 10, 14, 9, 13, 11, 15};

uint16_t cell(uint8_t character, uint8_t attribute) {
    return static_cast<uint16_t>(character | attribute << 8);
}

size_t count(const std::string_view haystack, const std::string_view needle) {
    size_t n = 0;
    for (size_t at = haystack.find(needle); at != std::string_view::npos; at = haystack.find(needle, at + 1)) ++n;
    return n;
}

// Frames that change the way real ones do: some cells alone, some runs of
// every length, sometimes a whole row; all 256 characters, all attributes.
std::vector<Cells> changingFrames(int frameCount, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<Cells> frames;
    Cells cells(CellCount);
    for (auto& c : cells) c = static_cast<uint16_t>(random());
    frames.push_back(cells);
    for (int f = 1; f < frameCount; ++f) {
        const int changes = static_cast<int>(random() % 60);
        for (int k = 0; k < changes; ++k) {
            const int start = static_cast<int>(random() % CellCount);
            const int length = 1 + static_cast<int>(random() % (k % 7 == 0 ? 80 : 4));
            // Runs of one attribute, as the colour passes make them.
            const uint8_t attribute = static_cast<uint8_t>(random());
            for (int i = start; i < std::min(CellCount, start + length); ++i)
                cells[i] = cell(static_cast<uint8_t>(random()),
                                random() % 3 == 0 ? static_cast<uint8_t>(random()) : attribute);
        }
        frames.push_back(cells);
    }
    return frames;
}

// Every cell the terminal shows equals the cell it should show, and
// everything around the picture is blank.
void expectScreenShows(const EmulatedTerminal& term, const Cells& cells, ColourMode mode, int frame) {
    const Viewport v = viewportFor(term.columns(), term.rows());
    int wrong = 0;
    for (int row = 0; row < term.rows(); ++row) {
        for (int column = 0; column < term.columns(); ++column) {
            const VTermScreenCell shown = term.cell(row, column);
            const int r = row - v.screenRow, c = column - v.screenColumn;
            const bool inside = r >= 0 && r < v.rows && c >= 0 && c < v.columns;
            if (!inside) {
                // Margins blank, in the picture's black, not the theme's background.
                const bool black = mode == ColourMode::Ansi16
                                       ? VTERM_COLOR_IS_INDEXED(&shown.bg) && shown.bg.indexed.idx == 0
                                       : VTERM_COLOR_IS_RGB(&shown.bg) && shown.bg.rgb.red == ConsolePalette[0].r &&
                                             shown.bg.rgb.green == ConsolePalette[0].g &&
                                             shown.bg.rgb.blue == ConsolePalette[0].b;
                if ((shown.chars[0] != 0 && shown.chars[0] != ' ') || !black) ++wrong;
                continue;
            }
            const uint16_t expected = cells[(v.sourceRow + r) * CellColumns + v.sourceColumn + c];
            const unsigned fg = (expected >> 8) & 0x0F, bg = expected >> 12;
            bool ok =
                shown.chars[0] == Cp437Unicode[expected & 0xFF] || (shown.chars[0] == 0 && (expected & 0xFF) == 0);
            if (mode == ColourMode::Ansi16) {
                ok = ok && VTERM_COLOR_IS_INDEXED(&shown.fg) && shown.fg.indexed.idx == AnsiIndexOf[fg] &&
                     VTERM_COLOR_IS_INDEXED(&shown.bg) && shown.bg.indexed.idx == AnsiIndexOf[bg];
            } else {
                const Rgb f = ConsolePalette[fg], b = ConsolePalette[bg];
                ok = ok && VTERM_COLOR_IS_RGB(&shown.fg) && shown.fg.rgb.red == f.r && shown.fg.rgb.green == f.g &&
                     shown.fg.rgb.blue == f.b && VTERM_COLOR_IS_RGB(&shown.bg) && shown.bg.rgb.red == b.r &&
                     shown.bg.rgb.green == b.g && shown.bg.rgb.blue == b.b;
            }
            if (!ok && wrong++ < 5)
                ADD_FAILURE() << "frame " << frame << ", screen cell (" << column << ", " << row << "): shows U+"
                              << std::hex << shown.chars[0] << ", expected cell 0x" << expected;
        }
    }
    EXPECT_EQ(wrong, 0) << "frame " << frame << ": " << wrong << " cells wrong";
}

class EmulatorReadsFrames : public testing::TestWithParam<std::tuple<ColourMode, int, int>> {};

TEST_P(EmulatorReadsFrames, DiffedAndFullStreamsShowEveryCell) {
    const auto [mode, columns, rows] = GetParam();
    const auto frames = changingFrames(40, 7);
    for (const bool diffed : {true, false}) {
        SCOPED_TRACE(diffed ? "diffed" : "full repaint");
        EmulatedTerminal term(rows, columns);
        // Only set-up's modes matter to the emulator here (wrapping off).
        term.feed(TermSeq::ConsoleEnter);
        AnsiFrameBuilder builder(mode, columns, rows);
        for (size_t f = 0; f < frames.size(); ++f) {
            if (!diffed) builder.repaintAll();
            term.feed(builder.build(frames[f].data()));
            expectScreenShows(term, frames[f], mode, static_cast<int>(f));
            EXPECT_TRUE(term.cursor().row == 0 && term.cursor().col == 0) << "frame " << f;
            if (HasFailure()) return;
        }
        EXPECT_TRUE(term.altScreen());
        EXPECT_FALSE(term.cursorVisible());
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, EmulatorReadsFrames,
                         testing::Combine(testing::Values(ColourMode::Ansi16, ColourMode::TrueColour),
                                          testing::Values(80, 101, 61), testing::Values(50, 55, 31)),
                         [](const auto& test) {
                             return std::string(std::get<0>(test.param) == ColourMode::Ansi16 ? "ansi16_"
                                                                                              : "truecolour_") +
                                    std::to_string(std::get<1>(test.param)) + "x" +
                                    std::to_string(std::get<2>(test.param));
                         });

TEST(AnsiFrame, ResizeClearsAndRepaintsWithoutScrolling) {
    const auto frames = changingFrames(3, 11);
    EmulatedTerminal big(60, 120);
    big.feed(TermSeq::ConsoleEnter);
    AnsiFrameBuilder builder(ColourMode::Ansi16, 80, 50);
    big.feed(builder.build(frames[0].data()));
    // The terminal grows: the picture moves to the middle and nothing of
    // the old position stays.
    builder.setTerminalSize(120, 60);
    const std::string_view bytes = builder.build(frames[1].data());
    EXPECT_NE(bytes.find(TermSeq::ClearScreen), std::string_view::npos);
    big.feed(bytes);
    expectScreenShows(big, frames[1], ColourMode::Ansi16, 1);
    // Without wrapping, even an 80-column terminal never scrolls: the last
    // cell of the last row stays where it is.
    EmulatedTerminal exact(50, 80);
    exact.feed(TermSeq::ConsoleEnter);
    AnsiFrameBuilder fits(ColourMode::Ansi16);
    for (const auto& f : frames) exact.feed(fits.build(f.data()));
    expectScreenShows(exact, frames.back(), ColourMode::Ansi16, 2);
}

TEST(AnsiFrame, AGridOfAnotherSizeIsCentredAndDiffedAlike) {
    // A fitted 51x24 picture in an 80x24 terminal, then the grid changes
    // (a resize): cleared and repainted at its new place.
    std::mt19937 random(13);
    EmulatedTerminal term(24, 80);
    term.feed(TermSeq::ConsoleEnter);
    AnsiFrameBuilder builder(ColourMode::Ansi16, 80, 24);
    for (const auto& [columns, rows] : {std::pair{51, 24}, std::pair{38, 20}}) {
        builder.setGrid(columns, rows);
        Cells cells(static_cast<size_t>(columns * rows));
        for (int f = 0; f < 6; ++f) {
            for (auto& c : cells)
                if (f == 0 || random() % 5 == 0) c = cell(static_cast<uint8_t>(33 + random() % 94), 0x07);
            const std::string bytes(builder.build(cells.data()));
            EXPECT_EQ(bytes.find(TermSeq::ClearScreen) != std::string::npos, f == 0);
            term.feed(bytes);
            const int left = (80 - columns) / 2, top = (24 - rows) / 2;
            int wrong = 0;
            for (int row = 0; row < 24; ++row)
                for (int column = 0; column < 80; ++column) {
                    const int r = row - top, c = column - left;
                    const bool inside = r >= 0 && r < rows && c >= 0 && c < columns;
                    const uint32_t expected = inside ? cells[static_cast<size_t>(r * columns + c)] & 0xFF : ' ';
                    const uint32_t shown = term.character(row, column);
                    wrong += (shown == 0 ? ' ' : shown) != expected;
                }
            EXPECT_EQ(wrong, 0) << columns << "x" << rows << ", frame " << f;
        }
    }
}

TEST(AnsiFrame, EveryCharacterOnEveryAttribute) {
    const Cells blank(CellCount, cell(' ', 0x07));
    Cells all(CellCount);
    for (int i = 0; i < CellCount; ++i) all[i] = cell(static_cast<uint8_t>(i), static_cast<uint8_t>(i / 16));
    const std::vector<Cells> frames{blank, all, blank};
    for (ColourMode mode : {ColourMode::Ansi16, ColourMode::TrueColour}) {
        EmulatedTerminal term(50, 80);
        term.feed(TermSeq::ConsoleEnter);
        AnsiFrameBuilder builder(mode);
        for (size_t f = 0; f < frames.size(); ++f) {
            term.feed(builder.build(frames[f].data()));
            expectScreenShows(term, frames[f], mode, static_cast<int>(f));
        }
    }
}

TEST(AnsiFrame, RealFramesOverTheTimeline) {
    // The pipeline's frames, three in a row every two seconds over the
    // whole timeline, diffed and read back at three terminal sizes.
    const std::string data = HAZELGLOW_BUILD_DATA_DIR;
    Result loaded = loadImageStrip((data + "/wipe.png").c_str(), wipeStrip);
    if (loaded) loaded = loadImageStrip((data + "/texts.png").c_str(), textStrip);
    if (!loaded) GTEST_SKIP() << "no data files in " << data << ": " << loaded.message();
    static PKR_AsciiArt converter;
    converter.init();

    struct Screen {
        ColourMode mode;
        EmulatedTerminal term;
        AnsiFrameBuilder builder;
        Screen(ColourMode m, int columns, int rows) : mode(m), term(rows, columns), builder(m, columns, rows) {
            term.feed(TermSeq::ConsoleEnter);
        }
    };
    Screen screens[] = {{ColourMode::Ansi16, 80, 50}, {ColourMode::TrueColour, 100, 55}, {ColourMode::Ansi16, 70, 40}};
    size_t diffed = 0, frames = 0;
    for (int n = 1; n <= TimelineFrames; ++n) {
        if (n % 50 > 2) continue;
        renderFrame(FramePeriod * n, static_cast<uint32_t>(FramePeriod * n), converter);
        const Cells cells(CellBuffer, CellBuffer + CellCount);
        for (Screen& s : screens) {
            const std::string_view bytes = s.builder.build(cells.data());
            if (&s == &screens[0]) diffed += bytes.size();
            s.term.feed(bytes);
            expectScreenShows(s.term, cells, s.mode, n);
        }
        ++frames;
        if (HasFailure()) return;
    }
    // The picture is ASCII art in light grey on black with short flashes:
    // most frames send far fewer bytes than a full repaint of 4 000 cells.
    EXPECT_LT(diffed / frames, 4000u);
}

TEST(AnsiFrame, ExactBytesOfAFirstAndASecondFrame) {
    Cells cells(CellCount, cell('A', 0x07));
    cells[1] = cell('B', 0x8F);
    AnsiFrameBuilder builder(ColourMode::Ansi16);
    const std::string first(builder.build(cells.data()));
    const std::string expectedStart =
        std::string(TermSeq::SyncBegin) + "\x1b[0m\x1b[30;40m\x1b[2J" + "\x1b[H\x1b[37mA\x1b[97;100mB\x1b[37;40mAA";
    EXPECT_EQ(first.substr(0, expectedStart.size()), expectedStart);
    EXPECT_NE(first.find("\x1b[2HAAAA"), std::string::npos);  // colours kept across rows
    EXPECT_NE(first.find("\x1b[50HAAAA"), std::string::npos);
    // The cursor left at the top left, hidden.
    EXPECT_EQ(first.substr(first.size() - 17), "\x1b[H\x1b[?25l\x1b[?2026l");
    // The clear in the picture's black; 3 + 8 x 4 + 41 x 5 bytes of row
    // moves, 4000 glyphs, 3 colour changes (the first of the foreground
    // alone: the background is black already); home.
    EXPECT_EQ(first.size(), 8u + 16u + 240u + 4000u + 5u + 9u + 8u + 3u + 14u);

    // Nothing changed: the frame is empty but still hides the cursor.
    EXPECT_EQ(builder.build(cells.data()), "\x1b[?2026h\x1b[?25l\x1b[?2026l");

    // Two changes far apart on one row: one move (forward from home); one
    // cell apart: the unchanged cell is sent again, being shorter than a move.
    cells[10] = cell('C', 0x07);
    cells[60] = cell('D', 0x07);
    cells[62] = cell('E', 0x07);
    EXPECT_EQ(builder.build(cells.data()), "\x1b[?2026h\x1b[10CC\x1b[49CDAE\x1b[H\x1b[?25l\x1b[?2026l");

    // Only the background changes: only the background is set.
    cells[200] = cell('A', 0x17);
    EXPECT_EQ(builder.build(cells.data()), "\x1b[?2026h\x1b[3;41H\x1b[44mA\x1b[H\x1b[?25l\x1b[?2026l");
}

// A frame taken back leaves no trace: the next one is built as if it had
// never been, against what the terminal shows; the first frame and its
// clear come again too.
TEST(AnsiFrame, AFrameTakenBackLeavesNoTrace) {
    Cells cells(CellCount, cell('A', 0x07));
    AnsiFrameBuilder kept(ColourMode::Ansi16), taking(ColourMode::Ansi16);
    taking.keepTakeBack();
    const std::string first(taking.build(cells.data()));
    taking.takeBack();
    EXPECT_EQ(taking.build(cells.data()), first);
    EXPECT_EQ(kept.build(cells.data()), first);
    for (int f = 0; f < 3; ++f) {
        Cells skipped = cells;
        for (int k = 0; k < 40; ++k) skipped[static_cast<size_t>(f * 977 + k * 31) % CellCount] = cell('S', 0x1C);
        taking.build(skipped.data());
        taking.takeBack();
        cells[static_cast<size_t>(f * 13 + 5)] = cell('N', 0x4E);
        EXPECT_EQ(std::string(taking.build(cells.data())), std::string(kept.build(cells.data()))) << f;
    }
}

TEST(AnsiFrame, TrueColourUsesTheConsolePalette) {
    Cells cells(CellCount, cell(0xDB, 0x8F));
    AnsiFrameBuilder builder(ColourMode::TrueColour);
    const std::string bytes(builder.build(cells.data()));
    EXPECT_EQ(count(bytes, "\x1b[38;2;255;255;255;48;2;128;128;128m"), 1u);
    EXPECT_EQ(count(bytes, "\xE2\x96\x88"), static_cast<size_t>(CellCount));  // full block
    cells[0] = cell(0xDB, 0x4E);                                              // yellow on dark red
    EXPECT_NE(std::string(builder.build(cells.data())).find("\x1b[38;2;255;255;0;48;2;128;0;0m"), std::string::npos);
}

TEST(AnsiFrame, ColourModeFollowsColorterm) {
    EXPECT_EQ(colourModeFor(nullptr), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor(""), ColourMode::Ansi16);
    EXPECT_EQ(colourModeFor("truecolor"), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor("24bit"), ColourMode::TrueColour);
    EXPECT_EQ(colourModeFor("yes"), ColourMode::Ansi16);
}

TEST(AnsiFrame, WorstCaseStaysInsideTheBuffer) {
    // Every other cell changes, every cell with its own colours, on the
    // largest terminal (five-digit positions), in 24-bit colour.
    AnsiFrameBuilder builder(ColourMode::TrueColour, 65535, 65535);
    Cells a(CellCount), b(CellCount);
    for (int i = 0; i < CellCount; ++i) {
        a[i] = cell(0xDB, static_cast<uint8_t>(i * 37));
        b[i] = i % 2 ? a[i] : cell(0xB1, static_cast<uint8_t>(i * 37 + 0x77));
    }
    EXPECT_LE(builder.build(a.data()).size(), MaxFrameBytes);
    EXPECT_LE(builder.build(b.data()).size(), MaxFrameBytes);
    EXPECT_NE(std::string(builder.build(a.data())).find("\x1b[32743;32728H"), std::string::npos);
}

TEST(AnsiFrame, ViewportCentresOrCrops) {
    const auto same = [](Viewport v, Viewport w) {
        return v.sourceColumn == w.sourceColumn && v.sourceRow == w.sourceRow && v.columns == w.columns &&
               v.rows == w.rows && v.screenColumn == w.screenColumn && v.screenRow == w.screenRow;
    };
    EXPECT_TRUE(same(viewportFor(80, 50), {0, 0, 80, 50, 0, 0}));
    EXPECT_TRUE(same(viewportFor(100, 55), {0, 0, 80, 50, 10, 2}));
    EXPECT_TRUE(same(viewportFor(60, 30), {10, 10, 60, 30, 0, 0}));
    EXPECT_TRUE(same(viewportFor(79, 49), {0, 0, 79, 49, 0, 0}));
    EXPECT_TRUE(same(viewportFor(0, 0), {40, 25, 0, 0, 0, 0}));
    // A terminal with no cells gets only the frame's wrapping.
    AnsiFrameBuilder builder(ColourMode::Ansi16, 0, 0);
    const Cells cells(CellCount, cell('x', 7));
    EXPECT_EQ(builder.build(cells.data()), "\x1b[?2026h\x1b[0m\x1b[30;40m\x1b[2J\x1b[H\x1b[?25l\x1b[?2026l");
}

TEST(TermSequences, RestoreUndoesSetUpInReverse) {
    // The bytes as a terminal receives them: each undo mirrors a set-up step.
    using namespace TermSeq;
    EXPECT_EQ(ConsoleEnter, "\x1b[?1049h\x1b[?7l\x1b[22;0t"sv);
    // The demo's screen is cleared in the default colours, cursor at the
    // top left, before the main screen comes back.
    EXPECT_EQ(ConsoleRestore, "\x1b[?2026l\x1b[0m\x1b[H\x1b[2J\x1b[?25h\x1b[23;0t\x1b[?7h\x1b[?1049l"sv);
}

TEST(TermSequences, TitleIsUtf8AndCut) {
    char out[MaxTitleSequenceBytes];
    const size_t n = buildTitleSequence("rUUX - V\x94rnik\x94 - Hazel Glow - ZKPW07", out);
    EXPECT_EQ(std::string(out, n), "\x1b]0;rUUX - V\xC3\xB6rnik\xC3\xB6 - Hazel Glow - ZKPW07\x07");
    // Control codes become their console shapes, never bytes a terminal obeys.
    EXPECT_EQ(std::string(out, buildTitleSequence("a\x07"
                                                  "b\x1b",
                                                  out)),
              "\x1b]0;a\xE2\x80\xA2"
              "b\xE2\x86\x90\x07");
    const std::string longTitle(400, '\xDB');
    EXPECT_EQ(buildTitleSequence(longTitle.c_str(), out), MaxTitleSequenceBytes - 1);
}

}  // namespace
