// The timeline: eleven 16-second scenes, each a scene effect, an optional
// text overlay and an optional colour pass. Windows are closed at both ends;
// t belongs to the window starting at F when (uint32_t)(t - F) <= 15 999.
#pragma once

#include <cstdint>

using SceneEffect = void (*)(int32_t e);
using ColourPass = void (*)(int32_t e);

enum class TextChoice : uint8_t {
    None,
    Fixed,                // strip frame `textIndex`
    AlternateEachSecond,  // `textIndex` + lowest bit of (frameTarget / 1000)
};

struct Scene {
    int32_t first;  // first t of the window, in milliseconds
    SceneEffect effect;
    TextChoice text;
    int32_t textIndex;
    ColourPass colourPass;  // null: attributes stay as converted
};

inline constexpr int SceneCount = 11;
inline constexpr int32_t SceneLength = 16000;
inline constexpr int32_t LastSceneEnd = SceneCount * SceneLength;  // 176 000

extern const Scene Timeline[SceneCount];

// The first t of scene `index`'s window: the windows follow one another from
// t = 1.
constexpr int32_t sceneStart(int index) {
    return 1 + index * SceneLength;
}

// True when t lies in the window that starts at `first`.
constexpr bool inWindow(int32_t t, int32_t first) {
    return static_cast<uint32_t>(t) - static_cast<uint32_t>(first) <= static_cast<uint32_t>(SceneLength - 1);
}

// Index of the first scene whose window holds t, or -1 past the last scene.
int sceneIndexAt(int32_t t);

// The strip frame the scene overlays at this frame, or -1 for none.
int32_t textFrameFor(const Scene& scene, uint32_t frameTarget);
