// InvertBlob's row spans and clipping, and the two blob scenes built on it.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <vector>

#include "effects/effects.h"
#include "tests/effects/strip_fixture.h"

namespace {

struct Span {
    int first = 0, last = -1;  // inclusive columns; last < first: row untouched
    int width() const { return last - first + 1; }
    bool operator==(const Span& o) const {
        return (width() <= 0 && o.width() <= 0) || (first == o.first && last == o.last);
    }
};

// Draws one blob on a black frame and reads back each row's inverted span,
// checking that it is one unbroken run of white.
std::vector<Span> spansOf(int32_t cx, int32_t cy, int32_t r) {
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    InvertBlob(cx, cy, r);
    std::vector<Span> spans(ScreenHeight);
    for (int y = 0; y < ScreenHeight; ++y) {
        Span& span = spans[y];
        for (int x = 0; x < ScreenWidth; ++x) {
            const uint32_t p = FrameBuffer[y * ScreenWidth + x];
            EXPECT_TRUE(p == 0u || p == 0xFFFFFFu);
            if (p == 0) continue;
            if (span.width() <= 0) span.first = x;
            EXPECT_EQ(span.last, span.width() <= 0 && span.first == x ? -1 : x - 1) << "gap in row " << y;
            span.last = x;
        }
    }
    return spans;
}

}  // namespace

TEST(InvertBlob, RowWidthsFollowTheSlimmedCircle) {
    const auto spans = spansOf(100, 100, 30);
    // Middle row: even width 60, one pixel more left of the centre.
    EXPECT_EQ(spans[100].first, 70);
    EXPECT_EQ(spans[100].last, 129);
    // dy = -29 and +29: odd width 13, symmetric about cx.
    EXPECT_EQ(spans[71].first, 94);
    EXPECT_EQ(spans[71].last, 106);
    EXPECT_EQ(spans[129].first, 94);
    EXPECT_EQ(spans[129].last, 106);
    // The extra top row dy = -30 is one pixel, and the blob is 2r rows tall.
    EXPECT_EQ(spans[70].first, 100);
    EXPECT_EQ(spans[70].last, 100);
    EXPECT_LE(spans[69].width(), 0);
    EXPECT_LE(spans[130].width(), 0);
    // About 84% of the full width half way up (a circle would give 87%).
    EXPECT_EQ(spans[85].width(), 50);
    for (int y = 71; y <= 129; ++y) {
        EXPECT_GT(spans[y].width(), 0) << y;
        EXPECT_LE(spans[y].width(), 60) << y;
    }
}

TEST(InvertBlob, TopRowOfRadiusSixteenIsEmpty) {
    const auto spans = spansOf(160, 100, 16);
    EXPECT_LE(spans[84].width(), 0);
    EXPECT_GT(spans[85].width(), 0);
    EXPECT_EQ(spans[100].width(), 32);
    EXPECT_GT(spans[115].width(), 0);
    EXPECT_LE(spans[116].width(), 0);
}

TEST(InvertBlob, ClipsAtEverySideLikeAShiftedWholeBlob) {
    // A blob that fits on screen, shifted in each direction, must show the
    // same spans moved by the shift and cut to the screen, whatever part of
    // it hangs off.
    constexpr int r = 30;
    const auto whole = spansOf(160, 100, r);
    for (int cx = -45; cx <= 365; cx += 5) {
        for (int cy : {-40, -31, -30, -29, -5, 0, 1, 100, 199, 200, 229, 230, 240}) {
            SCOPED_TRACE(testing::Message() << "cx " << cx << " cy " << cy);
            const auto clipped = spansOf(cx, cy, r);
            for (int y = 0; y < ScreenHeight; ++y) {
                const int source = y - (cy - 100);
                Span expected;
                if (source >= 0 && source < ScreenHeight && whole[source].width() > 0) {
                    expected.first = std::max(0, whole[source].first + cx - 160);
                    expected.last = std::min(ScreenWidth - 1, whole[source].last + cx - 160);
                }
                ASSERT_EQ(clipped[y], expected) << "row " << y;
            }
        }
    }
}

TEST(InvertBlob, CentreAboveTheScreenTouchesOnlyTheRowsOnIt) {
    const auto spans = spansOf(160, -5, 10);
    for (int y = 0; y < 5; ++y) EXPECT_GT(spans[y].width(), 0) << y;
    for (int y = 5; y < ScreenHeight; ++y) EXPECT_LE(spans[y].width(), 0) << y;
}

TEST(InvertBlob, SpansAtTheVeryEdges) {
    // Middle row of r = 30 spans 60 columns from cx - 30.
    EXPECT_EQ(spansOf(-10, 100, 30)[100], (Span{0, 19}));
    EXPECT_EQ(spansOf(-30, 100, 30)[100], (Span{0, -1}));  // x0 + w = 0: nothing
    EXPECT_EQ(spansOf(-29, 100, 30)[100], (Span{0, 0}));
    EXPECT_EQ(spansOf(330, 100, 30)[100], (Span{300, 319}));
    EXPECT_EQ(spansOf(349, 100, 30)[100], (Span{319, 319}));
    EXPECT_EQ(spansOf(350, 100, 30)[100], (Span{0, -1}));    // starts at column 320
    EXPECT_EQ(spansOf(160, 100, 200)[100], (Span{0, 319}));  // wider than the screen
}

TEST(InvertBlob, InvertsTheColourAndKeepsTheTopByte) {
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    FrameBuffer[100 * ScreenWidth + 100] = 0xAB123456u;
    InvertBlob(100, 100, 5);
    EXPECT_EQ(FrameBuffer[100 * ScreenWidth + 100], 0xABEDCBA9u);
}

TEST(InvertBlob, TwoIdenticalCallsCancel) {
    for (auto [cx, cy, r] : {std::tuple{160, 100, 30}, {-20, 190, 45}, {300, 3, 90}, {5, 5, 1}}) {
        fillWithNoise(7);
        const std::vector<uint32_t> before(FrameBuffer, FrameBuffer + ScreenPixels);
        InvertBlob(cx, cy, r);
        EXPECT_NE(0, std::memcmp(FrameBuffer, before.data(), sizeof FrameBuffer));
        InvertBlob(cx, cy, r);
        EXPECT_EQ(0, std::memcmp(FrameBuffer, before.data(), sizeof FrameBuffer));
    }
}

TEST(InvertBlob, NonPositiveRadiusAndFarOffCentresChangeNothing) {
    fillWithNoise(3);
    const std::vector<uint32_t> before(FrameBuffer, FrameBuffer + ScreenPixels);
    InvertBlob(160, 100, 0);
    InvertBlob(160, 100, -7);
    InvertBlob(160, 100, INT32_MIN);
    InvertBlob(160, -100, 60);
    InvertBlob(160, 300, 60);
    InvertBlob(-200, 100, 60);
    InvertBlob(500, 100, 60);
    InvertBlob(INT32_MAX, INT32_MIN, INT32_MAX);
    EXPECT_EQ(0, std::memcmp(FrameBuffer, before.data(), sizeof FrameBuffer));
}

TEST(InvertBlob, HugeArgumentsStayOnTheScreen) {
    // Radii and centres at the ends of the integer range must neither
    // overflow nor write outside the frame (the sanitizer run checks that).
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    InvertBlob(160, 100, INT32_MAX);
    for (int y = 0; y < ScreenHeight; ++y) EXPECT_EQ(FrameBuffer[y * ScreenWidth + 319], 0xFFFFFFu) << y;
    InvertBlob(INT32_MIN, 100, INT32_MAX);
    InvertBlob(INT32_MAX, INT32_MAX, INT32_MAX);
}

TEST(BlobScenes, SwarmAtTimeZeroIsOneBlobBeforeTheFade) {
    // At e = 0 every blob's clock is 0: seven identical blobs at (160, 200)
    // with r = 24, which leave a single inversion; the sway angle is 0.
    fillWithNoise(11);
    const std::vector<uint32_t> start(FrameBuffer, FrameBuffer + ScreenPixels);
    InvertBlob(160, 200, 24);
    FadeOut(0.97f);
    const std::vector<uint32_t> expected(FrameBuffer, FrameBuffer + ScreenPixels);

    std::memcpy(FrameBuffer, start.data(), sizeof FrameBuffer);
    DrawBlobSwarm(0);
    EXPECT_EQ(0, std::memcmp(FrameBuffer, expected.data(), sizeof FrameBuffer));
}

TEST(BlobScenes, SwarmClocksAreTruncatedBeforeEachStep) {
    // e = 50 000: clocks 50000, 60000, 72000, 86400, 103680, 124416, 149299
    // (149 299.2 truncated) and 179158 for the sway; without the truncation
    // the last would be 179 159.
    fillWithNoise(5);
    const std::vector<uint32_t> start(FrameBuffer, FrameBuffer + ScreenPixels);
    InvertBlob(176, 132, 20);
    InvertBlob(237, 151, 24);
    InvertBlob(311, 132, 19);
    InvertBlob(0, 151, 23);
    InvertBlob(80, 199, 24);
    InvertBlob(66, 20, 24);
    InvertBlob(50, 1, 18);
    RotateFrame(static_cast<float>(0.007522494093652841));
    FadeOut(0.97f);
    const std::vector<uint32_t> expected(FrameBuffer, FrameBuffer + ScreenPixels);

    std::memcpy(FrameBuffer, start.data(), sizeof FrameBuffer);
    DrawBlobSwarm(50000);
    EXPECT_EQ(0, std::memcmp(FrameBuffer, expected.data(), sizeof FrameBuffer));
}

TEST(BlobScenes, TrailBlobWandersAndFades) {
    // Blob centres and radii worked out by hand for three times; at e = 0 it
    // hangs off the bottom, at e = 150 000 it is small and left of centre.
    struct Case {
        int32_t e, cx, cy, r;
    };
    for (const Case& c : {Case{0, 210, 205, 60}, Case{85000, 138, 86, 86}, Case{150000, 38, 96, 36}}) {
        SCOPED_TRACE(c.e);
        fillWithNoise(static_cast<uint32_t>(c.e));
        const std::vector<uint32_t> start(FrameBuffer, FrameBuffer + ScreenPixels);
        InvertBlob(c.cx, c.cy, c.r);
        FadeOut(0.95f);
        const std::vector<uint32_t> expected(FrameBuffer, FrameBuffer + ScreenPixels);

        std::memcpy(FrameBuffer, start.data(), sizeof FrameBuffer);
        DrawBlobTrail(c.e);
        EXPECT_EQ(0, std::memcmp(FrameBuffer, expected.data(), sizeof FrameBuffer));
    }
}

TEST(BlobScenes, SwarmSwaysThroughTheFeedbackBuffer) {
    // The swarm's rotation pass leaves the unturned picture in FeedbackBuffer,
    // which is where the tunnel of a later scene would start from.
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    std::memset(FeedbackBuffer, 0x33, sizeof FeedbackBuffer);
    DrawBlobSwarm(0);
    std::memset(FrameBuffer, 0, sizeof FrameBuffer);
    InvertBlob(160, 200, 24);
    EXPECT_EQ(0, std::memcmp(FeedbackBuffer, FrameBuffer, sizeof FrameBuffer));
}
