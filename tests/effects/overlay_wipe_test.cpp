// The text overlay and the scene-change wipe, on small in-memory strips.
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "effects/effects.h"
#include "effects/text_overlay.h"
#include "tests/effects/strip_fixture.h"

namespace {

using Picture = std::vector<uint32_t>;

Picture snapshot() {
    return Picture(FrameBuffer, FrameBuffer + ScreenPixels);
}

int32_t radiusAt(int32_t e, int32_t x, int32_t y) {
    return static_cast<int32_t>(std::floor(
               std::sin((((static_cast<double>(e) * 0.2) + static_cast<double>(y)) + static_cast<double>(x)) * 0.053) *
                   3.0 +
               3.0)) +
           4;
}

// The overlay drawn pixel by pixel and span by span, as it is defined, into
// `picture`.
void overlayByDefinition(Picture& picture, const ImageStrip& strip, int32_t frame, int32_t e) {
    if (frame >= strip.frameCount) return;
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x) {
            if (!strip.lit(frame, y * ScreenWidth + x)) continue;
            const int32_t r = radiusAt(e, x, y);
            for (int32_t d = -r; d < r; ++d) {
                const int32_t yy = y + d;
                if (yy < 0 || yy > 199) continue;
                int32_t w = haloRowWidth(r, d);
                int32_t x0 = x - w / 2;
                if (x0 < 0) {
                    w = w + x0;
                    x0 = 0;
                }
                if (x0 + w >= 320) w = 320 - x0;
                for (int32_t i = 0; i < w; ++i) picture[static_cast<size_t>(yy * 320 + x0 + i)] = 0;
            }
        }
    for (int32_t i = 0; i < ScreenPixels; ++i)
        if (strip.lit(frame, i)) picture[static_cast<size_t>(i)] = 0xFFFFFFFFu;
}

// A time at which the halo around a pixel on diagonal x + y has radius r.
int32_t timeWithRadius(int32_t r, int32_t x, int32_t y) {
    for (int32_t e = 40; e < 16000; e += 40)
        if (radiusAt(e, x, y) == r) return e;
    return -1;
}

}  // namespace

TEST(HaloWidths, TableMatchesTheRoundedShapeForEveryRadius) {
    const std::vector<std::vector<int>> expected = {
        {0, 4, 6, 7, 8, 7, 6, 4},
        {0, 5, 7, 8, 9, 10, 9, 8, 7, 5},
        {0, 6, 8, 10, 11, 11, 12, 11, 11, 10, 8, 6},
        {0, 6, 9, 11, 12, 13, 13, 14, 13, 13, 12, 11, 9, 6},
        {0, 7, 9, 11, 13, 14, 15, 15, 16, 15, 15, 14, 13, 11, 9, 7},
        {0, 7, 10, 12, 14, 15, 16, 17, 17, 18, 17, 17, 16, 15, 14, 12, 10, 7},
        {0, 7, 11, 13, 15, 16, 17, 18, 19, 19, 20, 19, 19, 18, 17, 16, 15, 13, 11, 7},
    };
    for (int32_t r = HaloMinRadius; r <= HaloMaxRadius; ++r) {
        const int8_t* table = haloWidths(r);
        const std::vector<int>& widths = expected[static_cast<size_t>(r - HaloMinRadius)];
        ASSERT_EQ(widths.size(), static_cast<size_t>(2 * r));
        for (int32_t d = -r; d < r; ++d) {
            EXPECT_EQ(table[d + r], widths[static_cast<size_t>(d + r)]) << "r=" << r << " d=" << d;
            EXPECT_EQ(table[d + r], haloRowWidth(r, d)) << "r=" << r << " d=" << d;
        }
    }
}

TEST(TextOverlay, SinglePixelCutsItsHaloThenLightsItself) {
    ScopedStrip strip(textStrip, 1);
    strip.set(0, 100, 100, true);
    const int32_t e = timeWithRadius(4, 100, 100);
    ASSERT_GT(e, 0);
    fillFrameBuffer(0x00123456u);
    DrawTextOverlay(0, e);

    const int widths[] = {4, 6, 7, 8, 7, 6, 4};  // rows 97..103
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x) {
            uint32_t expected = 0x00123456u;
            if (y >= 97 && y <= 103) {
                const int w = widths[y - 97];
                if (x >= 100 - w / 2 && x < 100 - w / 2 + w) expected = 0;
            }
            if (x == 100 && y == 100) expected = 0xFFFFFFFFu;
            ASSERT_EQ(FrameBuffer[y * ScreenWidth + x], expected) << "x=" << x << " y=" << y;
        }
}

TEST(TextOverlay, HalosAtTheCornersStayInsideTheFrame) {
    // Out-of-range writes are caught by the address sanitizer; here the
    // clipped halos must also match the definition exactly.
    ScopedStrip strip(textStrip, 1);
    strip.set(0, 0, 0, true);
    strip.set(0, 319, 199, true);
    strip.set(0, 319, 0, true);
    strip.set(0, 0, 199, true);
    for (int32_t e : {40, 200, 400, 33333}) {
        fillFrameBuffer(0x00ABCDEFu);
        Picture expected = snapshot();
        overlayByDefinition(expected, textStrip, 0, e);
        DrawTextOverlay(0, e);
        EXPECT_EQ(snapshot(), expected) << "e=" << e;
        EXPECT_EQ(FrameBuffer[0], 0xFFFFFFFFu);
        EXPECT_EQ(FrameBuffer[ScreenPixels - 1], 0xFFFFFFFFu);
    }
}

TEST(TextOverlay, MatchesTheDefinitionOnDenseAndSparseText) {
    // Runs of lit pixels share their halo rows; scattered pixels and blocks
    // at the borders check that sharing against the pixel-by-pixel result,
    // for demo times and for times whose e * 0.2 is not a whole number.
    ScopedStrip strip(textStrip, 2);
    std::mt19937 random(7);
    for (int32_t y = 0; y < ScreenHeight; ++y)
        for (int32_t x = 0; x < ScreenWidth; ++x) {
            strip.set(0, x, y, random() % 23 == 0);
            strip.set(1, x, y, (x / 9 + y / 13) % 3 == 0 && random() % 5 != 0);
        }
    for (int32_t frame : {0, 1})
        for (int32_t e : {40, 16040, 176000, 7, 123457, -333}) {
            fillFrameBuffer(0x00808080u);
            Picture expected = snapshot();
            overlayByDefinition(expected, textStrip, frame, e);
            DrawTextOverlay(frame, e);
            EXPECT_EQ(snapshot(), expected) << "frame=" << frame << " e=" << e;
        }
}

TEST(TextOverlay, TextIsAllBitsSetEvenUnderNeighbouringHalos) {
    ScopedStrip strip(textStrip, 1);
    for (int32_t x = 50; x < 60; ++x) strip.set(0, x, 20, true);
    strip.set(0, 54, 21, true);
    strip.set(0, 54, 19, true);
    fillFrameBuffer(0u);
    DrawTextOverlay(0, 40);
    for (int32_t x = 50; x < 60; ++x) EXPECT_EQ(FrameBuffer[20 * ScreenWidth + x], 0xFFFFFFFFu);
    EXPECT_EQ(FrameBuffer[21 * ScreenWidth + 54], 0xFFFFFFFFu);
    EXPECT_EQ(FrameBuffer[19 * ScreenWidth + 54], 0xFFFFFFFFu);
}

TEST(TextOverlay, PagesItDoesNotHaveDrawNothing) {
    ScopedStrip strip(textStrip, 2, true);  // every pixel lit
    fillFrameBuffer(0x00123456u);
    const Picture before = snapshot();
    DrawTextOverlay(2, 40);
    DrawTextOverlay(99, 40);
    DrawTextOverlay(-1, 40);
    EXPECT_EQ(snapshot(), before);

    ScopedStrip none(textStrip, 0);
    DrawTextOverlay(0, 40);
    EXPECT_EQ(snapshot(), before);
}

TEST(TextOverlay, UnlitPageLeavesThePicture) {
    ScopedStrip strip(textStrip, 1);
    strip.fillFrame(0, false);  // noise in green, blue and alpha only
    fillFrameBuffer(0x00123456u);
    const Picture before = snapshot();
    DrawTextOverlay(0, 40);
    EXPECT_EQ(snapshot(), before);
}

namespace {

// A wipe strip of n frames, lit everywhere except pixel k of frame k, so the
// frame that was applied can be read off the picture.
struct MarkedWipe {
    ScopedStrip strip;
    explicit MarkedWipe(int32_t n) : strip(wipeStrip, n, true) {
        for (int32_t k = 0; k < n; ++k) strip.set(k, k, 0, false);
    }
};

// The wipe frame applied at time t, -1 for none (and -2 for anything else).
int32_t appliedFrame(float t) {
    fillFrameBuffer(0x00FFFFFFu);
    ApplyWipe(t);
    int32_t frame = -1;
    for (int32_t i = 0; i < ScreenPixels; ++i) {
        if (FrameBuffer[i] == 0x00FFFFFFu) continue;
        if (FrameBuffer[i] != 0 || frame != -1) return -2;
        frame = i;
    }
    return frame;
}

}  // namespace

TEST(Wipe, FrameIsTheWholePartOfNPlusOneTimesT) {
    MarkedWipe wipe(3);  // 4 slots per second: frames 0, 1, 2, then idle
    EXPECT_EQ(appliedFrame(0.0f), 0);
    EXPECT_EQ(appliedFrame(0.02f), 0);
    EXPECT_EQ(appliedFrame(0.2499f), 0);
    EXPECT_EQ(appliedFrame(0.25f), 1);
    EXPECT_EQ(appliedFrame(0.5f), 2);
    EXPECT_EQ(appliedFrame(0.74f), 2);
    EXPECT_EQ(appliedFrame(0.75f), -1);
    EXPECT_EQ(appliedFrame(0.98f), -1);
    EXPECT_EQ(appliedFrame(15.98f), -1);
    EXPECT_EQ(appliedFrame(-0.02f), -1);
    EXPECT_EQ(appliedFrame(1e30f), -1);
    EXPECT_EQ(appliedFrame(std::nanf("")), -1);
}

TEST(Wipe, ProductIsRoundedToSinglePrecisionBeforeTheFloor) {
    // With the 24-frame strip, t = 0.04 (e = 15 540): 25 * 0.04f is
    // 0.99999998 exactly, which a double floor would make frame 0, but the
    // single-precision product rounds to 1.0f: frame 1.
    MarkedWipe wipe(24);
    EXPECT_EQ(appliedFrame(0.04f), 1);
}

TEST(Wipe, LitMaskKeepsThePictureDarkMaskBlacksItOut) {
    ScopedStrip strip(wipeStrip, 2, true);
    strip.fillFrame(1, false);
    fillFrameBuffer(0xFF123456u);
    const Picture before = snapshot();
    ApplyWipe(0.1f);  // 3 * 0.1 -> frame 0, lit everywhere
    EXPECT_EQ(snapshot(), before);
    ApplyWipe(0.4f);  // 3 * 0.4 -> frame 1, dark everywhere
    EXPECT_EQ(snapshot(), Picture(ScreenPixels, 0u));
}

TEST(Wipe, EmptyStripNeverDraws) {
    ScopedStrip strip(wipeStrip, 0);
    fillFrameBuffer(0x00123456u);
    for (float t : {0.0f, 0.5f, 0.999f, 15.98f}) ApplyWipe(t);
    EXPECT_EQ(snapshot(), Picture(ScreenPixels, 0x00123456u));
}
