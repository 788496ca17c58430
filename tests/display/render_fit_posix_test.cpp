// hazelglow-render's terminal bytes for a terminal smaller than 80x50, read
// back through a real terminal emulator: the whole picture, fitted and
// centred, and nothing outside it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "display/term_sequences.h"
#include "display/terminal_grid.h"
#include "tests/display/vterm_screen.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

using testfiles::readFile;

TEST(RenderFit, An80x24TerminalShowsTheWholePictureInsideItsGrid) {
    const testfiles::TempDir dir("fit");
    const fs::path out = dir / "frames.ansi";
    // Frames 290 to 300 (11.6-12 s, the first scene) fill the picture
    // from top to bottom.
    const std::string command = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render --data " +
                                HAZELGLOW_BUILD_DATA_DIR + " --from 290 --frames 300 --size 80x24 --ansi " +
                                out.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const std::string bytes = readFile(out);

    const PictureGrid grid = pictureGridFor(80, 24, DefaultCellShape, FitMode::Auto);
    ASSERT_FALSE(grid.exact);
    ASSERT_EQ(grid.columns, 51);
    ASSERT_EQ(grid.rows, 24);
    const int left = (80 - grid.columns) / 2;  // 14

    EmulatedTerminal term(24, 80);
    term.feed(TermSeq::ConsoleEnter);
    term.feed(bytes);
    int outside = 0;
    for (int row = 0; row < 24; ++row) {
        int ink = 0;
        for (int column = 0; column < 80; ++column) {
            const uint32_t ch = term.character(row, column);
            const bool blank = ch == 0 || ch == ' ';
            if (column >= left && column < left + grid.columns)
                ink += !blank;
            else
                outside += !blank;
        }
        EXPECT_GT(ink, 0) << "row " << row << " is empty: " << term.rowText(row);
    }
    EXPECT_EQ(outside, 0);
    // One frame after another, each cleared only once, at the start.
    EXPECT_EQ(term.rows(), 24);
    size_t clears = 0;
    for (size_t at = bytes.find(TermSeq::ClearScreen); at != std::string::npos;
         at = bytes.find(TermSeq::ClearScreen, at + 1))
        ++clears;
    EXPECT_EQ(clears, 1u);
}

}  // namespace
