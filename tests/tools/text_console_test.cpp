// The text pictures as the console shows them: each frame alone on black
// (what the overlay leaves on a dark scene) through the demo's converter.
// HAZELGLOW_SHOW_TEXTS=1 prints the 80x50 characters of every frame.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/ascii_art.h"
#include "tests/tools/data_files.h"

namespace {

// The text frame alone on black, through the converter the demo uses: this
// is what the overlay puts on a dark scene.
std::vector<uint16_t> consoleCellsOf(int frame) {
    static PKR_AsciiArt converter;
    static bool ready = false;
    if (!ready) {
        converter.init();
        ready = true;
    }
    std::vector<uint32_t> picture(ScreenPixels);
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x)
            picture[static_cast<size_t>(y) * ScreenWidth + x] = texts().lit(frame, x, y) ? 0xFFFFFFFFu : 0u;
    std::vector<uint16_t> cells(CellCount);
    const SourceRect whole{0, 0, ScreenWidth, ScreenHeight};
    converter.PKR_TCConverter::convertHighRes(picture.data(), &whole, ScreenWidth, 0, 0, cells.data());
    return cells;
}

TEST(TextStrip, ConvertsToSolidTextInsideTheScreen) {
    ASSERT_EQ(texts().frames(), 6);
    for (int frame = 0; frame < 6; ++frame) {
        const std::vector<uint16_t> cells = consoleCellsOf(frame);
        int written = 0;
        int solid = 0;  // cells filled by a stroke: the densest glyphs
        for (int r = 0; r < CellRows; ++r) {
            std::string row;
            for (int c = 0; c < CellColumns; ++c) {
                const char ch = static_cast<char>(cells[static_cast<size_t>(r) * CellColumns + c] & 0xFF);
                row += ch;
                if (ch != ' ') {
                    ++written;
                    EXPECT_TRUE(r >= 2 && r < CellRows - 2 && c >= 2 && c < CellColumns - 2)
                        << "frame " << frame << " writes cell (" << c << ", " << r << ")";
                }
                solid += ch == '0' ? 1 : 0;
            }
            if (std::getenv("HAZELGLOW_SHOW_TEXTS") != nullptr) std::printf("%d |%s|\n", frame, row.c_str());
        }
        EXPECT_GT(written, 150) << "frame " << frame;
        EXPECT_GT(solid, 20) << "frame " << frame << ": no stroke fills a whole cell";
    }
}

}  // namespace
