// The generated data files as the build leaves them: the two image strips
// and the generator's behaviour on bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "tests/tools/data_files.h"

namespace {

const std::string Generator = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-datagen";

struct GeneratorRun {
    int status = -1;
    std::string output;
};

GeneratorRun runGenerator(const std::string& arguments) {
    GeneratorRun run;
    const std::string command = "'" + Generator + "' " + arguments + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

TEST(TextStrip, SixFramesOfPureBlackAndWhite) {
    const Strip& strip = texts();
    ASSERT_EQ(strip.width, ScreenWidth) << "texts.png missing or not 320 wide";
    EXPECT_EQ(strip.height, 6 * ScreenHeight);
    for (uint8_t v : strip.red) ASSERT_TRUE(v == 0 || v == 255) << "grey pixel " << int(v);
}

TEST(TextStrip, EveryFrameHasTextClearOfTheEdges) {
    const Strip& strip = texts();
    ASSERT_EQ(strip.frames(), 6);
    // The overlay's halo reaches up to 10 pixels beyond the text.
    constexpr int Clearance = 10;
    for (int frame = 0; frame < strip.frames(); ++frame) {
        EXPECT_GT(strip.litCount(frame), 2000) << "frame " << frame << " is (nearly) empty";
        int touching = 0;
        for (int y = 0; y < ScreenHeight; ++y)
            for (int x = 0; x < ScreenWidth; ++x)
                if (strip.lit(frame, x, y) &&
                    (x < Clearance || x >= ScreenWidth - Clearance || y < Clearance || y >= ScreenHeight - Clearance))
                    ++touching;
        EXPECT_EQ(touching, 0) << "frame " << frame;
    }
}

TEST(TextStrip, StrokesAreThickEnoughForTheConsole) {
    // A stroke thinner than about 5 pixels falls between the converter's
    // 2x2-pixel quadrants and breaks up. Measure the horizontal runs of lit
    // pixels through the middle of every text line: the typical (median)
    // run is a vertical stem.
    const Strip& strip = texts();
    ASSERT_EQ(strip.frames(), 6);
    for (int frame = 0; frame < strip.frames(); ++frame) {
        std::vector<int> runs;
        for (int y = 0; y < ScreenHeight; ++y) {
            int run = 0;
            for (int x = 0; x <= ScreenWidth; ++x) {
                if (x < ScreenWidth && strip.lit(frame, x, y)) {
                    ++run;
                } else if (run > 0) {
                    runs.push_back(run);
                    run = 0;
                }
            }
        }
        ASSERT_FALSE(runs.empty());
        std::nth_element(runs.begin(), runs.begin() + static_cast<std::ptrdiff_t>(runs.size() / 2), runs.end());
        const int median = runs[runs.size() / 2];
        EXPECT_GE(median, 5) << "frame " << frame;
        EXPECT_LE(median, 12) << "frame " << frame;
    }
}

TEST(WipeStrip, TwentyFourMasks) {
    const Strip& strip = wipe();
    ASSERT_EQ(strip.width, ScreenWidth) << "wipe.png missing or not 320 wide";
    EXPECT_EQ(strip.height, 24 * ScreenHeight);
}

TEST(WipeStrip, DarkAtTheSceneChangeAndNearlyClearAtBothEnds) {
    const Strip& strip = wipe();
    ASSERT_EQ(strip.frames(), 24);
    EXPECT_EQ(strip.litCount(12), 0);
    EXPECT_GE(strip.litCount(0), ScreenPixels * 95 / 100);
    EXPECT_GE(strip.litCount(23), ScreenPixels * 95 / 100);
    EXPECT_LT(strip.litCount(11), ScreenPixels / 10);
    EXPECT_LT(strip.litCount(13), ScreenPixels / 10);
}

TEST(WipeStrip, ClosesThenOpensWithoutFlicker) {
    // Closing: whatever one mask cuts, the next cuts too; opening: the
    // reverse. A pixel that came back and vanished again would flicker.
    const Strip& strip = wipe();
    ASSERT_EQ(strip.frames(), 24);
    for (int k = 0; k + 1 < 24; ++k) {
        const int before = k, after = k + 1;
        int violations = 0;
        for (int i = 0; i < ScreenPixels; ++i) {
            const bool litBefore = strip.red[static_cast<size_t>(before) * ScreenPixels + i] != 0;
            const bool litAfter = strip.red[static_cast<size_t>(after) * ScreenPixels + i] != 0;
            if (k < 12 ? (!litBefore && litAfter) : (litBefore && !litAfter)) ++violations;
        }
        EXPECT_EQ(violations, 0) << "masks " << before << " -> " << after;
        if (k < 12)
            EXPECT_GT(strip.litCount(before), strip.litCount(after)) << "mask " << after << " does not close further";
        else
            EXPECT_LT(strip.litCount(before), strip.litCount(after)) << "mask " << after << " does not open further";
    }
    for (int j = 1; j <= 11; ++j)
        EXPECT_EQ(strip.litCount(12 - j), strip.litCount(12 + j)) << "masks " << 12 - j << " and " << 12 + j;
}

TEST(WipeStrip, EdgesFallOnConverterQuadrants) {
    // Every 2x2-pixel quadrant the converter sees is wholly lit or wholly
    // dark, so the masks stay crisp in text mode.
    const Strip& strip = wipe();
    ASSERT_EQ(strip.frames(), 24);
    for (int k = 0; k < 24; ++k)
        for (int y = 0; y < ScreenHeight; y += 2)
            for (int x = 0; x < ScreenWidth; x += 2) {
                const bool a = strip.lit(k, x, y);
                ASSERT_TRUE(a == strip.lit(k, x + 1, y) && a == strip.lit(k, x, y + 1) &&
                            a == strip.lit(k, x + 1, y + 1))
                    << "mask " << k << " splits the quadrant at (" << x << ", " << y << ")";
            }
}

TEST(DataGenerator, UnreadableFontIsOneLineNamingIt) {
    const GeneratorRun run =
        runGenerator("--font /nonexistent/NoSuchFont.ttf '" + std::string(::testing::TempDir()) + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_NE(run.output.find("/nonexistent/NoSuchFont.ttf"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find("No such file"), std::string::npos) << run.output;
}

TEST(DataGenerator, FileThatIsNoFontIsRefused) {
    const std::string notAFont = std::string(HAZELGLOW_SOURCE_DIR) + "/README.md";
    const GeneratorRun run = runGenerator("--font '" + notAFont + "' '" + std::string(::testing::TempDir()) + "'");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_NE(run.output.find(notAFont), std::string::npos) << run.output;
}

TEST(DataGenerator, UnwritableOutputIsOneLineNamingTheFile) {
    const GeneratorRun run = runGenerator("--font '" + std::string(HAZELGLOW_TEXT_FONT) + "' /nonexistent-dir");
    EXPECT_NE(run.status, 0);
    EXPECT_EQ(std::count(run.output.begin(), run.output.end(), '\n'), 1) << run.output;
    EXPECT_NE(run.output.find("/nonexistent-dir/texts.png"), std::string::npos) << run.output;
}

TEST(DataGenerator, MissingArgumentsShowUsage) {
    const GeneratorRun run = runGenerator("");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.output.find("usage:"), std::string::npos) << run.output;
}

}  // namespace
