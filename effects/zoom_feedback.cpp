#include <cmath>
#include <cstring>

#include "effects/effects.h"
#include "effects/resample.h"

namespace {

// The stamp: 32 x 20 pixels with its top-left corner at (144, 90).
constexpr int StampLeft = 144;
constexpr int StampTop = 90;
constexpr int StampWidth = 32;
constexpr int StampHeight = 20;

// Centred coordinates sampled at 0.9 of their distance from the centre:
// (float)((double)(float)(x - 160) * 0.9), and likewise for the rows.
struct ZoomedCoordinates {
    float columns[ScreenWidth];
    float rows[ScreenHeight];
    ZoomedCoordinates() {
        for (int x = 0; x < ScreenWidth; ++x)
            columns[x] = static_cast<float>(static_cast<double>(static_cast<float>(x - CentreX)) * 0.9);
        for (int y = 0; y < ScreenHeight; ++y)
            rows[y] = static_cast<float>(static_cast<double>(static_cast<float>(y - CentreY)) * 0.9);
    }
};

const ZoomedCoordinates zoomed;

}  // namespace

// Video-feedback tunnel: stamp an XOR texture into the middle of the last
// picture and magnify the result with a slight swinging rotation. The
// picture lives in FeedbackBuffer so later overlays never feed back.
void DrawZoomFeedback(int32_t e) {
    std::memcpy(ZoomSourceBuffer, FeedbackBuffer, sizeof ZoomSourceBuffer);

    for (int32_t j = 0; j < StampHeight; ++j) {
        uint32_t* row = ZoomSourceBuffer + (StampTop + j) * ScreenWidth + StampLeft;
        for (int32_t i = 0; i < StampWidth; ++i) {
            const int32_t quotient = (i ^ j ^ e) / 17;
            row[i] = (quotient & 1) != 0 ? 0xFFFFFFu : 0x000000u;
        }
    }

    const float m = static_cast<float>(std::sin(static_cast<double>(e) * 0.0003438) * 0.15);
    const float s = static_cast<float>(std::sin(static_cast<double>(m)));
    const float c = static_cast<float>(std::cos(static_cast<double>(m)));
    // One pass writes the new picture into FeedbackBuffer and its copy into
    // the FrameBuffer.
    resample::rotateAboutCentre(ZoomSourceBuffer, FeedbackBuffer, FrameBuffer, s, c, zoomed.columns, zoomed.rows);
}
