// The scene effects, overlays, fades and colour passes.
//
// Free functions on the shared buffers of buffers.h, each taking the demo
// time e in milliseconds (or one single-precision level derived from it).
// They never fail, never allocate per frame and know nothing of terminals,
// clocks or sound. State kept from frame to frame lives in the statics
// declared at the bottom; it is never reset by the demo.
#pragma once

#include <cstdint>

#include "effects/buffers.h"

// Scene effects: draw the FrameBuffer.
void DrawTwistedPattern(int32_t e);
void DrawTwistedFractal(int32_t e);
void DrawZoomFeedback(int32_t e);
void DrawBlobSwarm(int32_t e);
void DrawBlobTrail(int32_t e);
void DrawParityCurves(int32_t e);

// Building blocks of the scene effects.
void InvertBlob(int32_t cx, int32_t cy, int32_t r);
void RotateFrame(float angle);

// Overlays and fades on the finished picture.
void DrawTextOverlay(int32_t frame, int32_t e);
void ApplyWipe(float t);
void FadeIn(float t);
void FadeOut(float t);

// Colour passes on the CellBuffer.
void CyanFlashPass(int32_t e);
void RedFlashPass(int32_t e);
void BlockFlashPass(int32_t e);

// State of the colour passes, with its start values; tests that want a fresh
// start reset it through resetColourPassState(), the demo never does.
extern int32_t FlashStep;
extern int32_t BlockAge[16];
extern int32_t BlockPickCounter;
extern int32_t NextBlockPickTime;
void resetColourPassState();
