#include <cmath>
#include <cstring>

#include "effects/effects.h"
#include "effects/resample.h"

namespace {

// Centred coordinates X = x - 160 and Y = y - 100, the same every call.
struct CentredCoordinates {
    float columns[ScreenWidth];
    float rows[ScreenHeight];
    CentredCoordinates() {
        for (int x = 0; x < ScreenWidth; ++x) columns[x] = static_cast<float>(x - CentreX);
        for (int y = 0; y < ScreenHeight; ++y) rows[y] = static_cast<float>(y - CentreY);
    }
};

const CentredCoordinates centred;

}  // namespace

// Turns the frame about the centre in place. FeedbackBuffer keeps the
// unturned copy to sample from (and so loses whatever the zoom tunnel had
// left there).
void RotateFrame(float angle) {
    std::memcpy(FeedbackBuffer, FrameBuffer, sizeof FrameBuffer);
    const float s = static_cast<float>(std::sin(static_cast<double>(angle)));
    const float c = static_cast<float>(std::cos(static_cast<double>(angle)));
    resample::rotateAboutCentre(FeedbackBuffer, FrameBuffer, nullptr, s, c, centred.columns, centred.rows);
}
