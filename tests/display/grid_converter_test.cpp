// The picture at any cell grid: the console's own cells at 80x50, and a
// plain, slow transcription of the area weighting at every other size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "demo/pipeline.h"
#include "demo/schedule.h"
#include "display/ascii_art.h"
#include "display/grid_converter.h"
#include "display/terminal_picture.h"
#include "effects/buffers.h"

namespace {

using Cells = std::vector<uint16_t>;

PKR_AsciiArt& asciiArt() {
    static PKR_AsciiArt* art = [] {
        auto* a = new PKR_AsciiArt;
        a->init();
        return a;
    }();
    return *art;
}

bool loadDataStrips(std::string& error) {
    const std::string data = HAZELGLOW_BUILD_DATA_DIR;
    Result loaded = loadImageStrip((data + "/wipe.png").c_str(), wipeStrip);
    if (loaded) loaded = loadImageStrip((data + "/texts.png").c_str(), textStrip);
    error = loaded.message();
    return bool(loaded);
}

int64_t overlap(int64_t begin, int64_t end, int64_t otherBegin, int64_t otherEnd) {
    return std::max<int64_t>(0, std::min(end, otherEnd) - std::max(begin, otherBegin));
}

// One cell the long way: every pixel near each quarter weighted by the area
// it shares with it (lengths in 1/(2W) and 1/(2H) of a pixel), the masked
// channels averaged, the brightness of the average, its level.
uint16_t referenceCell(const uint32_t* pixels, const uint16_t* console, int columns, int rows, int i, int j) {
    int levels[4];
    for (int q = 0; q < 4; ++q) {
        const int64_t qx = 2 * j + (q & 1), qy = 2 * i + (q >> 1);
        const int64_t left = 320 * qx, right = 320 * (qx + 1), top = 200 * qy, bottom = 200 * (qy + 1);
        const int64_t w2 = 2 * columns, h2 = 2 * rows;
        int64_t red = 0, green = 0, blue = 0, area = 0;
        for (int64_t y = std::max<int64_t>(0, top / h2 - 1); y <= std::min<int64_t>(199, bottom / h2 + 1); ++y)
            for (int64_t x = std::max<int64_t>(0, left / w2 - 1); x <= std::min<int64_t>(319, right / w2 + 1); ++x) {
                const int64_t a =
                    overlap(left, right, x * w2, (x + 1) * w2) * overlap(top, bottom, y * h2, (y + 1) * h2);
                const uint32_t p = pixels[y * 320 + x];
                red += a * (p >> 16 & 0xFC);
                green += a * (p >> 8 & 0xFC);
                blue += a * (p & 0xFC);
                area += a;
            }
        EXPECT_EQ(area, 320 * 200);
        levels[q] = static_cast<int>((3 * red + 6 * green + blue) / (10 * area)) >> 4;
    }
    const int pattern = levels[0] << 12 | levels[1] << 8 | levels[2] << 4 | levels[3];
    const int consoleColumn = static_cast<int>(std::floor((j + 0.5) * 320 / columns / 4));
    const int consoleRow = static_cast<int>(std::floor((i + 0.5) * 200 / rows / 4));
    const uint16_t attribute = console[consoleRow * 80 + consoleColumn] & 0xFF00;
    return static_cast<uint16_t>(attribute | asciiArt().glyphLut[pattern]);
}

// Cells of the converter that differ from the reference; reports the first few.
int mismatches(GridConverter& converter, const uint32_t* pixels, const uint16_t* console, int columns, int rows) {
    Cells cells(static_cast<size_t>(columns) * static_cast<size_t>(rows), 0xDEAD);
    converter.convert(asciiArt().glyphLut, pixels, console, columns, rows, cells.data());
    int wrong = 0;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < columns; ++j) {
            const uint16_t expected = referenceCell(pixels, console, columns, rows, i, j);
            const uint16_t got = cells[static_cast<size_t>(i) * static_cast<size_t>(columns) + static_cast<size_t>(j)];
            if (got != expected && wrong++ < 3)
                ADD_FAILURE() << columns << "x" << rows << " cell (" << j << ", " << i << "): 0x" << std::hex << got
                              << ", expected 0x" << expected;
        }
    return wrong;
}

TEST(GridConverter, GivesTheConsoleCellsAt80x50InEveryScene) {
    std::string error;
    if (!loadDataStrips(error)) GTEST_SKIP() << "no data files in " << HAZELGLOW_BUILD_DATA_DIR << ": " << error;
    GridConverter converter;
    Cells cells(CellCount);
    std::set<int> scenes;
    int frames = 0;
    // A frame every second of the timeline, fades and the end included.
    for (int n = 1; n <= 4450; n += 25) {
        const int32_t t = 40 * n;
        renderFrame(t, static_cast<uint32_t>(t), asciiArt());
        converter.convert(asciiArt().glyphLut, FrameBuffer, CellBuffer, 80, 50, cells.data());
        const int differing = static_cast<int>(
            std::count_if(cells.begin(), cells.end(), [&, k = 0](uint16_t c) mutable { return c != CellBuffer[k++]; }));
        EXPECT_EQ(differing, 0) << "frame " << n;
        scenes.insert(sceneIndexAt(t));
        ++frames;
        if (HasFailure()) return;
    }
    EXPECT_EQ(scenes.size(), static_cast<size_t>(SceneCount) + 1);  // and the frames after the last
    EXPECT_EQ(frames, 178);
}

TEST(GridConverter, AgreesWithThePlainAreaWeightingAtOtherSizes) {
    std::string error;
    if (!loadDataStrips(error)) GTEST_SKIP() << "no data files in " << HAZELGLOW_BUILD_DATA_DIR << ": " << error;
    // Quarters narrower and wider than a pixel, aligned and not, the
    // smallest and the largest grids, and the sizes terminals give.
    const std::pair<int, int> sizes[] = {{51, 24}, {64, 30},  {85, 40}, {1, 1},     {2, 1},    {400, 200}, {240, 100},
                                         {7, 3},   {133, 77}, {80, 24}, {160, 100}, {107, 50}, {320, 200}, {399, 199}};
    GridConverter converter;
    // Scenes 2, 5 and 9, mid-scene, and noise with the top byte set.
    std::vector<Cells> consoles;
    std::vector<std::vector<uint32_t>> pictures;
    for (int n : {600, 1500, 3250}) {
        renderFrame(40 * n, static_cast<uint32_t>(40 * n), asciiArt());
        pictures.emplace_back(FrameBuffer, FrameBuffer + ScreenPixels);
        consoles.emplace_back(CellBuffer, CellBuffer + CellCount);
    }
    std::mt19937 random(5);
    std::vector<uint32_t> noise(ScreenPixels);
    for (auto& p : noise) p = static_cast<uint32_t>(random());
    Cells colours(CellCount);
    for (auto& c : colours) c = static_cast<uint16_t>(random() << 8);
    pictures.push_back(noise);
    consoles.push_back(colours);

    for (const auto& [columns, rows] : sizes)
        for (size_t k = 0; k < pictures.size(); ++k) {
            SCOPED_TRACE(std::to_string(columns) + "x" + std::to_string(rows) + ", picture " + std::to_string(k));
            ASSERT_EQ(mismatches(converter, pictures[k].data(), consoles[k].data(), columns, rows), 0);
        }
}

TEST(GridConverter, EvenPicturesGiveEvenCellsAtEverySize) {
    GridConverter converter;
    const Cells console(CellCount, 0x0700);
    for (const auto& [pixel, character] : {std::pair<uint32_t, uint16_t>{0x00000000, ' '},
                                           {0x00FFFFFF, '0'},     // brightness 252, level 15 in all four quarters
                                           {0xFF030303, ' '}}) {  // two low bits and the top byte count for nothing
        const std::vector<uint32_t> picture(ScreenPixels, pixel);
        for (int columns : {1, 13, 51, 80, 400})
            for (int rows : {1, 24, 50, 199}) {
                Cells cells(static_cast<size_t>(columns) * static_cast<size_t>(rows));
                converter.convert(asciiArt().glyphLut, picture.data(), console.data(), columns, rows, cells.data());
                EXPECT_EQ(std::count(cells.begin(), cells.end(), static_cast<uint16_t>(0x0700 | character)),
                          static_cast<long>(cells.size()))
                    << std::hex << pixel << std::dec << " at " << columns << "x" << rows;
            }
    }
}

TEST(GridConverter, ColoursComeFromTheConsoleCellUnderTheCentre) {
    GridConverter converter;
    const std::vector<uint32_t> black(ScreenPixels, 0);
    Cells console(CellCount);
    for (int r = 0; r < 50; ++r)
        for (int c = 0; c < 80; ++c) console[r * 80 + c] = static_cast<uint16_t>((r * 3 + c) % 256 << 8);
    // 40x25: each cell's centre lies on the corner of four console cells,
    // and takes the one below and to the right.
    Cells cells(40 * 25);
    converter.convert(asciiArt().glyphLut, black.data(), console.data(), 40, 25, cells.data());
    EXPECT_EQ(cells[0] >> 8, console[1 * 80 + 1] >> 8);
    EXPECT_EQ(cells[24 * 40 + 39] >> 8, console[49 * 80 + 79] >> 8);
    // One cell: the console cell at the picture's centre.
    converter.convert(asciiArt().glyphLut, black.data(), console.data(), 1, 1, cells.data());
    EXPECT_EQ(cells[0], (console[25 * 80 + 40] & 0xFF00) | ' ');
}

TEST(GridConverter, SizesOutsideTheRangeWriteNothing) {
    GridConverter converter;
    const std::vector<uint32_t> picture(ScreenPixels, 0x00FFFFFF);
    const Cells console(CellCount, 0x0700);
    Cells cells(401 * 201, 0xBEEF);
    for (const auto& [columns, rows] : {std::pair{0, 10}, {10, 0}, {401, 10}, {10, 201}, {-1, -1}})
        converter.convert(asciiArt().glyphLut, picture.data(), console.data(), columns, rows, cells.data());
    EXPECT_EQ(std::count(cells.begin(), cells.end(), 0xBEEF), static_cast<long>(cells.size()));
}

}  // namespace

namespace {

TEST(TerminalPicture, ExactCellsOrTheFittedGridAndARepaintOnEveryResize) {
    std::vector<uint32_t> picture(ScreenPixels);
    std::mt19937 random(9);
    for (auto& p : picture) p = static_cast<uint32_t>(random());
    Cells console(CellCount);
    for (auto& c : console) c = static_cast<uint16_t>(random());
    const uint8_t* lut = asciiArt().glyphLut;

    TerminalPicture screen(ColourMode::Ansi16, FitMode::Auto, 100, 55, ConsoleCellShape);
    EXPECT_TRUE(screen.grid().exact);
    EXPECT_EQ(screen.cells(lut, picture.data(), console.data()), console.data());
    // The exact frame is the one an 80x50 builder makes for that terminal.
    AnsiFrameBuilder reference(ColourMode::Ansi16, 100, 55);
    EXPECT_EQ(std::string(screen.build(lut, picture.data(), console.data())),
              std::string(reference.build(console.data())));

    screen.setTerminal(80, 24, DefaultCellShape);
    ASSERT_FALSE(screen.grid().exact);
    ASSERT_EQ(screen.grid().columns, 51);
    ASSERT_EQ(screen.grid().rows, 24);
    Cells expected(51 * 24);
    GridConverter converter;
    converter.convert(lut, picture.data(), console.data(), 51, 24, expected.data());
    const uint16_t* fitted = screen.cells(lut, picture.data(), console.data());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), fitted));

    // Every new size, even the same one again, clears and repaints.
    for (int k = 0; k < 2; ++k) {
        screen.setTerminal(80, 24, DefaultCellShape);
        EXPECT_NE(std::string(screen.build(lut, picture.data(), console.data())).find("\x1b[2J"), std::string::npos);
        EXPECT_EQ(std::string(screen.build(lut, picture.data(), console.data())).find("\x1b[2J"), std::string::npos);
    }
    // The same terminal with cells twice as tall as wide: the 80x50 cells
    // would be too narrow, so it gets the picture fitted.
    screen.setTerminal(100, 55, DefaultCellShape);
    ASSERT_FALSE(screen.grid().exact);
    EXPECT_EQ(screen.grid().columns, 100);
    EXPECT_EQ(screen.grid().rows, 47);
    // --exact: the 80x50 cells whatever the cells' shape.
    TerminalPicture exact(ColourMode::Ansi16, FitMode::Exact, 100, 55, DefaultCellShape);
    EXPECT_TRUE(exact.grid().exact);
    EXPECT_EQ(exact.cells(lut, picture.data(), console.data()), console.data());
}

}  // namespace
