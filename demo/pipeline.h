// One frame of the picture, from demo time to finished cells.
//
// renderFrame runs, for demo time t: the scene effect, the text overlay, the
// scene-change wipe, the fades, the conversion into the CellBuffer and the
// colour pass. It knows nothing of terminals, clocks or sound, so the live
// demo and the headless renderer drive exactly the same code; all effect
// state carries over from call to call, as in the demo.
#pragma once

#include <cstdint>

class PKR_TCConverter;

enum class Stage : uint8_t { Scene, TextOverlay, Wipe, Fades, Conversion, Colours };
inline constexpr int StageCount = 6;
extern const char* const StageNames[StageCount];

// Told when each stage of a frame has finished (for timing figures).
class StageObserver {
public:
    virtual void stageDone(Stage stage) = 0;

protected:
    ~StageObserver() = default;
};

// Draws the frame for demo time t into the FrameBuffer and CellBuffer.
// frameTarget is the absolute tick of the frame (it picks the page of the
// alternating text); `converter` must have been initialised.
void renderFrame(int32_t t, uint32_t frameTarget, PKR_TCConverter& converter, StageObserver* observer = nullptr);

// The single-precision arguments the pipeline hands to the wipe and fades.
float wipeTimeAt(int32_t t);
float fadeInLevelAt(int32_t t);
float fadeOutLevelAt(int32_t t);

inline constexpr int32_t FadeInEnd = 8000;       // FadeIn runs while t < 8 000
inline constexpr int32_t FadeOutStart = 170000;  // FadeOut runs while t > 170 000
inline constexpr int32_t FadeOutEnd = 178000;    // black from here on
// The wipe's clock runs this far ahead of t, so each scene change falls
// inside its 1-second transition rather than at its start.
inline constexpr int32_t WipeLead = 500;

// A frame every 40 ms of demo time: frame n is drawn for t = 40 n, and
// the whole timeline, up to black, is frames 1..TimelineFrames.
inline constexpr int32_t FramePeriod = 40;
inline constexpr int32_t TimelineFrames = FadeOutEnd / FramePeriod;  // 4450
static_assert(TimelineFrames * FramePeriod == FadeOutEnd);
