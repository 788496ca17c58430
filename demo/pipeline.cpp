#include "demo/pipeline.h"

#include "demo/schedule.h"
#include "display/converter.h"
#include "effects/effects.h"

const char* const StageNames[StageCount] = {"scene", "overlay", "wipe", "fades", "conversion", "colour"};

float wipeTimeAt(int32_t t) {
    // In 64 bits: a demo left running for weeks must not overflow t + 500.
    return static_cast<float>((static_cast<int64_t>(t) + WipeLead) % SceneLength) / 1000.0f;
}

float fadeInLevelAt(int32_t t) {
    return static_cast<float>(t) / static_cast<float>(FadeInEnd);
}

float fadeOutLevelAt(int32_t t) {
    return static_cast<float>(FadeOutEnd - t) / static_cast<float>(FadeOutEnd - FadeOutStart);
}

static inline void done(StageObserver* observer, Stage stage) {
    if (observer != nullptr) observer->stageDone(stage);
}

void renderFrame(int32_t t, uint32_t frameTarget, PKR_TCConverter& converter, StageObserver* observer) {
    const int sceneIndex = sceneIndexAt(t);
    const Scene* scene = sceneIndex >= 0 ? &Timeline[sceneIndex] : nullptr;

    // Past the last scene the picture is left as it was; only the wipe and
    // the fade-out go on working on it.
    if (scene != nullptr) scene->effect(t);
    done(observer, Stage::Scene);

    if (scene != nullptr) {
        const int32_t textFrame = textFrameFor(*scene, frameTarget);
        if (textFrame >= 0) DrawTextOverlay(textFrame, t);
    }
    done(observer, Stage::TextOverlay);

    ApplyWipe(wipeTimeAt(t));
    done(observer, Stage::Wipe);

    if (t < FadeInEnd) FadeIn(fadeInLevelAt(t));
    if (t > FadeOutStart) FadeOut(fadeOutLevelAt(t));
    done(observer, Stage::Fades);

    // The base-class front end is named on purpose: it box-filters the frame
    // to 160x100 and reaches the concrete matcher through the virtual slot.
    static const SourceRect wholeFrame{0, 0, ScreenWidth, ScreenHeight};
    converter.PKR_TCConverter::convertHighRes(FrameBuffer, &wholeFrame, ScreenWidth, 0, 0, CellBuffer);
    done(observer, Stage::Conversion);

    if (scene != nullptr && scene->colourPass != nullptr) scene->colourPass(t);
    done(observer, Stage::Colours);
}
