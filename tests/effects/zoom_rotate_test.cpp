// The frame rotation pass and the zoom feedback tunnel: geometry against a
// double-precision model, clamping, the bit-exact rounding chain, and which
// buffers each one writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/effects.h"

namespace {

// Every pixel a distinct value that names its own position (never 0 and
// never white), so an output pixel tells where it was sampled from.
uint32_t positionTag(int x, int y) {
    return 0x00100000u + static_cast<uint32_t>(y * ScreenWidth + x);
}

void fillWithPositionTags(uint32_t* buffer) {
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x) buffer[y * ScreenWidth + x] = positionTag(x, y);
}

// A sample coordinate whose floor rounding could settle either way. One
// clamped to a border is exact.
bool ambiguous(double v, double limit) {
    return v > -0.5 && v < limit + 0.5 && std::fabs(v - std::round(v)) < 1e-3;
}

// Checks that every output pixel was sampled from the source position a
// plain double-precision model predicts (clamped to the screen), leaving out
// the few pixels whose sample point lies within rounding distance of a pixel
// border. `zoom` is 1 for the rotation pass, 0.9 for the tunnel.
void expectSampledLikeModel(const uint32_t* output, double angle, double zoom) {
    int checked = 0;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const double X = (x - 160) * zoom, Y = (y - 100) * zoom;
            const double u = std::cos(angle) * X - std::sin(angle) * Y + 160.0;
            const double v = std::sin(angle) * X + std::cos(angle) * Y + 100.0;
            if (ambiguous(u, 319.0) || ambiguous(v, 199.0)) continue;
            const double cu = std::clamp(u, 0.0, 319.0), cv = std::clamp(v, 0.0, 199.0);
            const uint32_t expected = positionTag(static_cast<int>(cu), static_cast<int>(cv));
            ASSERT_EQ(output[y * ScreenWidth + x], expected) << "pixel (" << x << ", " << y << ")";
            ++checked;
        }
    }
    EXPECT_GT(checked, ScreenPixels * 9 / 10);
}

// The rounding chain written out per pixel, as plainly as possible, to pin
// the bits of the tabled inner loop.
void literalResample(const uint32_t* source, uint32_t* target, float s, float c, bool zoom) {
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            float X = static_cast<float>(x - 160), Y = static_cast<float>(y - 100);
            if (zoom) {
                X = static_cast<float>(static_cast<double>(X) * 0.9);
                Y = static_cast<float>(static_cast<double>(Y) * 0.9);
            }
            const float sY = s * Y, cY = c * Y;
            float U = (c * X - sY) + 160.0f;
            float V = (s * X + cY) + 100.0f;
            if (U < 0)
                U = 0;
            else if (U >= 319)
                U = 319;
            if (V < 0)
                V = 0;
            else if (V >= 199)
                V = 199;
            const int col = static_cast<int>(std::floor(static_cast<double>(U)));
            const int row = static_cast<int>(std::floor(static_cast<double>(V)));
            target[y * ScreenWidth + x] = source[row * ScreenWidth + col];
        }
    }
}

struct StampPlace {
    static constexpr int Left = 144, Top = 90, Width = 32, Height = 20;
    static bool holds(int x, int y) { return x >= Left && x < Left + Width && y >= Top && y < Top + Height; }
};

}  // namespace

TEST(RotateFrame, ZeroAngleIsTheIdentityAndLeavesTheCopyInFeedback) {
    fillWithPositionTags(FrameBuffer);
    std::memset(FeedbackBuffer, 0xAB, sizeof FeedbackBuffer);
    RotateFrame(0.0f);
    for (int i = 0; i < ScreenPixels; ++i) {
        ASSERT_EQ(FrameBuffer[i], positionTag(i % ScreenWidth, i / ScreenWidth)) << i;
        ASSERT_EQ(FeedbackBuffer[i], FrameBuffer[i]) << i;
    }
}

TEST(RotateFrame, FeedbackHoldsTheUnturnedPicture) {
    fillWithPositionTags(FrameBuffer);
    RotateFrame(0.02f);
    for (int i = 0; i < ScreenPixels; ++i)
        ASSERT_EQ(FeedbackBuffer[i], positionTag(i % ScreenWidth, i / ScreenWidth)) << i;
}

TEST(RotateFrame, SamplesLikeARotationAboutTheCentreClampedAtTheBorders) {
    // The callers' largest angles both ways, and a large one that drives the
    // corners off every side of the screen.
    for (float angle : {0.02f, -0.02f, 0.5f, -0.5f}) {
        SCOPED_TRACE(angle);
        fillWithPositionTags(FrameBuffer);
        RotateFrame(angle);
        expectSampledLikeModel(FrameBuffer, angle, 1.0);
    }
}

TEST(RotateFrame, CornersTakeTheNearestBorderPixel) {
    // Turned by half a radian each corner's sample point lies off a
    // different side of the screen: off the top, the right, the left and the
    // bottom. Each takes the nearest border pixel.
    fillWithPositionTags(FrameBuffer);
    RotateFrame(0.5f);
    EXPECT_EQ(FrameBuffer[0], positionTag(67, 0));
    EXPECT_EQ(FrameBuffer[319], positionTag(319, 88));
    EXPECT_EQ(FrameBuffer[199 * ScreenWidth], positionTag(0, 110));
    EXPECT_EQ(FrameBuffer[199 * ScreenWidth + 319], positionTag(252, 199));
}

TEST(RotateFrame, EveryOutputPixelIsAnInputPixel) {
    for (int i = 0; i < ScreenPixels; ++i) FrameBuffer[i] = static_cast<uint32_t>(i) * 2654435761u;
    std::vector<uint32_t> before(FrameBuffer, FrameBuffer + ScreenPixels);
    std::sort(before.begin(), before.end());
    RotateFrame(-0.0137f);
    for (int i = 0; i < ScreenPixels; ++i)
        ASSERT_TRUE(std::binary_search(before.begin(), before.end(), FrameBuffer[i])) << i;
}

TEST(RotateFrame, MatchesTheRoundingChainBitForBit) {
    std::vector<uint32_t> expected(ScreenPixels);
    for (float angle : {0.02f, -0.02f, 0.0123f, 1e-6f, -0.3f, 0.7853982f}) {
        SCOPED_TRACE(angle);
        fillWithPositionTags(FrameBuffer);
        literalResample(FrameBuffer, expected.data(), static_cast<float>(std::sin(static_cast<double>(angle))),
                        static_cast<float>(std::cos(static_cast<double>(angle))), false);
        RotateFrame(angle);
        ASSERT_EQ(0, std::memcmp(FrameBuffer, expected.data(), sizeof FrameBuffer));
    }
}

TEST(ZoomFeedback, FirstFrameFromBlackShowsOnlyTheMagnifiedStamp) {
    std::memset(FeedbackBuffer, 0, sizeof FeedbackBuffer);
    DrawZoomFeedback(32040);
    int left = ScreenWidth, right = -1, top = ScreenHeight, bottom = -1, lit = 0;
    for (int y = 0; y < ScreenHeight; ++y) {
        for (int x = 0; x < ScreenWidth; ++x) {
            const uint32_t p = FrameBuffer[y * ScreenWidth + x];
            ASSERT_TRUE(p == 0u || p == 0xFFFFFFu) << x << ", " << y;
            if (p == 0) continue;
            ++lit;
            left = std::min(left, x), right = std::max(right, x);
            top = std::min(top, y), bottom = std::max(bottom, y);
        }
    }
    // The 32 x 20 stamp, magnified by 1/0.9 and turned by about -0.15 rad,
    // spans about 37 x 27 pixels around the centre; raw it would be 32 wide.
    ASSERT_GT(lit, 0);
    EXPECT_GT(right - left + 1, 34);
    EXPECT_LE(right - left + 1, 40);
    EXPECT_GT(bottom - top + 1, 22);
    EXPECT_LE(bottom - top + 1, 30);
    EXPECT_GE(left, 140);
    EXPECT_LE(right, 180);
    EXPECT_GE(top, 85);
    EXPECT_LE(bottom, 115);
}

TEST(ZoomFeedback, StampIsAnXorTextureWrittenOverTheLastPicture) {
    fillWithPositionTags(FeedbackBuffer);
    DrawZoomFeedback(0);
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x)
            if (!StampPlace::holds(x, y)) {
                ASSERT_EQ(ZoomSourceBuffer[y * ScreenWidth + x], positionTag(x, y)) << x << ", " << y;
            }
    // At e = 0 a stamp pixel (144 + i, 90 + j) is white when (i ^ j) / 17
    // is odd, i.e. for i ^ j in 17..31.
    auto stamp = [](int i, int j) { return ZoomSourceBuffer[(90 + j) * ScreenWidth + 144 + i]; };
    EXPECT_EQ(stamp(0, 0), 0u);
    EXPECT_EQ(stamp(16, 0), 0u);
    EXPECT_EQ(stamp(17, 0), 0xFFFFFFu);
    EXPECT_EQ(stamp(16, 1), 0xFFFFFFu);
    EXPECT_EQ(stamp(31, 0), 0xFFFFFFu);
    EXPECT_EQ(stamp(31, 19), 0u);  // 31 ^ 19 = 12
    EXPECT_EQ(stamp(0, 19), 0xFFFFFFu);
    // e = 17 shifts the pattern: 17 ^ 17 ^ 0 = 0 is black, 0 ^ 0 ^ 17 white.
    DrawZoomFeedback(17);
    EXPECT_EQ(stamp(0, 0), 0xFFFFFFu);
    EXPECT_EQ(stamp(17, 0), 0u);
}

TEST(ZoomFeedback, MagnifiesTheLastPictureWithTheSwingingRotation) {
    // e = 4569 is near the top of the swing (m close to +0.15 rad), where the
    // corners sample off the screen and are clamped.
    for (int32_t e : {32040, 4569, 40000, 120000}) {
        SCOPED_TRACE(e);
        fillWithPositionTags(FeedbackBuffer);
        DrawZoomFeedback(e);
        const double m = static_cast<float>(std::sin(e * 0.0003438) * 0.15);
        int checked = 0;
        for (int y = 0; y < ScreenHeight; ++y) {
            for (int x = 0; x < ScreenWidth; ++x) {
                const double X = (x - 160) * 0.9, Y = (y - 100) * 0.9;
                const double rawU = std::cos(m) * X - std::sin(m) * Y + 160.0;
                const double rawV = std::sin(m) * X + std::cos(m) * Y + 100.0;
                const double u = std::clamp(rawU, 0.0, 319.0), v = std::clamp(rawV, 0.0, 199.0);
                const uint32_t p = FeedbackBuffer[y * ScreenWidth + x];
                const bool nearStamp = u > 143 && u < 177 && v > 89 && v < 111;
                if (p == 0u || p == 0xFFFFFFu) {
                    ASSERT_TRUE(nearStamp) << "stamp pixel at " << x << ", " << y;
                    continue;
                }
                if (ambiguous(rawU, 319.0) || ambiguous(rawV, 199.0)) continue;
                ASSERT_EQ(p, positionTag(static_cast<int>(u), static_cast<int>(v))) << x << ", " << y;
                ++checked;
            }
        }
        EXPECT_GT(checked, ScreenPixels * 9 / 10);
    }
    // At the top of the swing the top-left corner samples above the screen
    // and the bottom-right one below it: both take the border row.
    fillWithPositionTags(FeedbackBuffer);
    DrawZoomFeedback(4569);
    EXPECT_EQ(FeedbackBuffer[0], positionTag(31, 0));
    EXPECT_EQ(FeedbackBuffer[ScreenPixels - 1], positionTag(288, 199));
}

TEST(ZoomFeedback, MatchesTheRoundingChainBitForBit) {
    std::vector<uint32_t> source(ScreenPixels), expected(ScreenPixels);
    for (int32_t e : {32040, 32080, 47960, 112040, 127960, 4569}) {
        SCOPED_TRACE(e);
        for (int i = 0; i < ScreenPixels; ++i) FeedbackBuffer[i] = static_cast<uint32_t>(i) * 2246822519u;
        DrawZoomFeedback(e);
        source.assign(ZoomSourceBuffer, ZoomSourceBuffer + ScreenPixels);
        const float m = static_cast<float>(std::sin(static_cast<double>(e) * 0.0003438) * 0.15);
        literalResample(source.data(), expected.data(), static_cast<float>(std::sin(static_cast<double>(m))),
                        static_cast<float>(std::cos(static_cast<double>(m))), true);
        ASSERT_EQ(0, std::memcmp(FeedbackBuffer, expected.data(), sizeof FeedbackBuffer));
    }
}

TEST(ZoomFeedback, PictureLivesInFeedbackNotInTheFrame) {
    // Whatever overlays left in the FrameBuffer does not feed back, and the
    // FrameBuffer ends as a copy of the new picture.
    fillWithPositionTags(FeedbackBuffer);
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    DrawZoomFeedback(40000);
    std::vector<uint32_t> fromBlackFrame(FeedbackBuffer, FeedbackBuffer + ScreenPixels);
    EXPECT_EQ(0, std::memcmp(FrameBuffer, FeedbackBuffer, sizeof FrameBuffer));

    fillWithPositionTags(FeedbackBuffer);
    std::memset(FrameBuffer, 0x5A, sizeof FrameBuffer);
    DrawZoomFeedback(40000);
    EXPECT_EQ(0, std::memcmp(FeedbackBuffer, fromBlackFrame.data(), sizeof FeedbackBuffer));
    EXPECT_EQ(0, std::memcmp(FrameBuffer, FeedbackBuffer, sizeof FrameBuffer));
}

TEST(ZoomFeedback, RotationPassReplacesTheTunnelPicture) {
    // The tunnel's second window starts from whatever the rotation pass last
    // copied into FeedbackBuffer: the frame before it was turned.
    for (int i = 0; i < ScreenPixels; ++i) FrameBuffer[i] = static_cast<uint32_t>(i) * 97u;
    std::vector<uint32_t> unturned(FrameBuffer, FrameBuffer + ScreenPixels);
    RotateFrame(0.015f);
    DrawZoomFeedback(112040);
    for (int y = 0; y < ScreenHeight; ++y)
        for (int x = 0; x < ScreenWidth; ++x)
            if (!StampPlace::holds(x, y)) {
                ASSERT_EQ(ZoomSourceBuffer[y * ScreenWidth + x], unturned[y * ScreenWidth + x]);
            }
}
