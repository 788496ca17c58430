#include "demo/schedule.h"

#include "effects/effects.h"

// The score. Rows are tested in this order; the first window holding t wins.
const Scene Timeline[SceneCount] = {
    {sceneStart(0), DrawTwistedPattern, TextChoice::Fixed, 0, nullptr},
    {sceneStart(1), DrawTwistedFractal, TextChoice::Fixed, 1, CyanFlashPass},
    {sceneStart(2), DrawZoomFeedback, TextChoice::None, 0, RedFlashPass},
    {sceneStart(3), DrawBlobSwarm, TextChoice::None, 0, CyanFlashPass},
    {sceneStart(4), DrawParityCurves, TextChoice::None, 0, BlockFlashPass},
    {sceneStart(5), DrawBlobTrail, TextChoice::Fixed, 2, nullptr},
    {sceneStart(6), DrawParityCurves, TextChoice::None, 0, BlockFlashPass},
    {sceneStart(7), DrawZoomFeedback, TextChoice::AlternateEachSecond, 3, RedFlashPass},
    {sceneStart(8), DrawTwistedPattern, TextChoice::None, 0, BlockFlashPass},
    {sceneStart(9), DrawBlobTrail, TextChoice::None, 0, nullptr},
    {sceneStart(10), DrawTwistedFractal, TextChoice::Fixed, 5, nullptr},
};

int sceneIndexAt(int32_t t) {
    for (int i = 0; i < SceneCount; ++i)
        if (inWindow(t, Timeline[i].first)) return i;
    return -1;
}

int32_t textFrameFor(const Scene& scene, uint32_t frameTarget) {
    switch (scene.text) {
    case TextChoice::None:
        return -1;
    case TextChoice::Fixed:
        return scene.textIndex;
    case TextChoice::AlternateEachSecond:
        // The absolute tick, as a signed number, decides the page: the phase
        // depends on when the demo started, not on t.
        return scene.textIndex + ((static_cast<int32_t>(frameTarget) / 1000) & 1);
    }
    return -1;
}
