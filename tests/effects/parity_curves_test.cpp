// The parity curves scene: marking and the even-odd fill, and the scene as a
// whole (only black and white, cleared each frame, turned last).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "effects/parity_curves.h"

namespace {

constexpr uint32_t White = 0x00FFFFFFu;

uint32_t at(int x, int y) {
    return FrameBuffer[y * ScreenWidth + x];
}

// Column x is white exactly on rows first..last (inclusive).
void expectWhiteRun(int x, int first, int last) {
    for (int y = 0; y < ScreenHeight; ++y)
        ASSERT_EQ(at(x, y), (y >= first && y <= last) ? White : 0u) << "column " << x << " row " << y;
}

}  // namespace

TEST(ParityCurves, FillIsWhiteBetweenOddAndEvenMarkCounts) {
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    MarkCurvePoint(10, 50);
    MarkCurvePoint(10, 150);
    MarkCurvePoint(11, -3);  // above the screen: flips from row 0
    MarkCurvePoint(12, -1000);
    MarkCurvePoint(13, 200);  // below the screen: no effect
    MarkCurvePoint(13, 5000);
    MarkCurvePoint(14, 199);  // last row only
    MarkCurvePoint(15, 0);
    MarkCurvePoint(15, -1);  // two marks on row 0 cancel
    FillByParity();
    expectWhiteRun(10, 50, 149);
    expectWhiteRun(11, 0, 199);
    expectWhiteRun(12, 0, 199);
    expectWhiteRun(13, 0, -1);
    expectWhiteRun(14, 199, 199);
    expectWhiteRun(15, 0, -1);
    expectWhiteRun(16, 0, -1);  // no marks at all
    expectWhiteRun(319, 0, -1);
}

TEST(ParityCurves, CurvesMeetingOnOnePixelCountByParity) {
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    for (int n = 0; n < 2; ++n) MarkCurvePoint(0, 80);
    for (int n = 0; n < 3; ++n) MarkCurvePoint(1, 80);
    for (int n = 0; n < 4; ++n) MarkCurvePoint(2, 80);
    MarkCurvePoint(3, 20);
    for (int n = 0; n < 2; ++n) MarkCurvePoint(3, 80);  // a crossing inside a white band
    MarkCurvePoint(3, 120);
    for (int n = 0; n < 6; ++n) MarkCurvePoint(319, 100);
    FillByParity();
    expectWhiteRun(0, 0, -1);
    expectWhiteRun(1, 80, 199);
    expectWhiteRun(2, 0, -1);
    expectWhiteRun(3, 20, 119);
    expectWhiteRun(319, 0, -1);
}

TEST(ParityCurves, AllAmplitudesZeroGiveSixFlatCurvesThatCancel) {
    // At e = 0 every amplitude sin(0) is 0, so all six curves lie on row 100
    // in every column: six marks per pixel, an even count, a black frame.
    // The sway angle is 0 as well. The frame is cleared first, whatever it held.
    std::memset(FrameBuffer, 0x77, sizeof FrameBuffer);
    DrawParityCurves(0);
    for (int i = 0; i < ScreenPixels; ++i) ASSERT_EQ(FrameBuffer[i], 0u) << i;
}

TEST(ParityCurves, SceneFramesAreBlackAndWhiteBandsTurnedLast) {
    for (int32_t e : {64040, 70000, 79960, 96040, 104000, 112000}) {
        SCOPED_TRACE(e);
        std::memset(FrameBuffer, 0x5A, sizeof FrameBuffer);
        DrawParityCurves(e);
        // FeedbackBuffer holds the picture before the rotation pass turned it.
        int bands = 0;
        for (int x = 0; x < ScreenWidth; ++x) {
            uint32_t previous = 0;
            int changes = 0;
            for (int y = 0; y < ScreenHeight; ++y) {
                const uint32_t p = FeedbackBuffer[y * ScreenWidth + x];
                ASSERT_TRUE(p == 0u || p == White) << x << ", " << y;
                if (p != previous) ++changes;
                previous = p;
            }
            // Six curves give at most six colour changes down a column.
            ASSERT_LE(changes, 6) << "column " << x;
            bands += changes;
        }
        EXPECT_GT(bands, 0);
        // The rotation pass runs last, with (float)(sin(E * 0.0023) * 0.02).
        std::vector<uint32_t> turned(FrameBuffer, FrameBuffer + ScreenPixels);
        std::memcpy(FrameBuffer, FeedbackBuffer, sizeof FrameBuffer);
        RotateFrame(static_cast<float>(std::sin(static_cast<double>(e) * 0.0023) * 0.02));
        EXPECT_EQ(0, std::memcmp(FrameBuffer, turned.data(), sizeof FrameBuffer));
    }
}

TEST(ParityCurves, FramesDependOnlyOnTheTime) {
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    DrawParityCurves(71234);
    const std::vector<uint32_t> first(FrameBuffer, FrameBuffer + ScreenPixels);
    DrawParityCurves(71274);
    EXPECT_NE(0, std::memcmp(FrameBuffer, first.data(), sizeof FrameBuffer));
    for (int i = 0; i < ScreenPixels; ++i) FrameBuffer[i] = static_cast<uint32_t>(i);
    DrawParityCurves(71234);
    EXPECT_EQ(0, std::memcmp(FrameBuffer, first.data(), sizeof FrameBuffer));
}
