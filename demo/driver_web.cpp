// The browser edition's driver. The page (web/page.js) puts the three data
// files into the file system and calls in here; everything runs on the
// page's one thread.
//
// hgStartDemo runs the terminal demo's start-up steps in the same order.
// The frames then run on the page's animation callbacks instead of a busy
// wait: each callback draws the frames whose 40 ms tick has passed, so the
// browser keeps its thread between frames. When the soundtrack has ended or
// a key was read, the sound stops and the page is told (Module.demoEnded).
//
// The page's test hooks render frames with no clock and no sound:
// hgPrepareFrames once, then hgRenderFrame for frames 1..N in order (effects
// carry state from frame to frame) and hgShowFrame.
#include <cstdint>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>
#include <string>

#include "demo/demo_objects.h"
#include "demo/driver.h"
#include "demo/keys.h"
#include "demo/pipeline.h"
#include "demo/schedule.h"
#include "demo/soundtrack.h"
#include "demo/ticks.h"
#include "display/console.h"
#include "display/titles.h"
#include "effects/buffers.h"

namespace {

// Where the page puts the data files.
constexpr const char* SoundtrackPath = "/hazelglow.ogg";
constexpr const char* WipePath = "/wipe.png";
constexpr const char* TextsPath = "/texts.png";

// A callback late by more than this many frames (the tab was hidden, say)
// catches up over several callbacks, so the page never freezes for long.
constexpr int MostFramesPerCallback = 4;

uint32_t startTick = 0;    // tick count right after the soundtrack started
uint32_t frameTarget = 0;  // tick to pass before the next frame; +FramePeriod per frame
int32_t key = 0;           // last key read, 0: none
// What the pipeline sees of the tick count is shifted by this much, so that
// ?start-tick=MS picks the text pages a demo started at MS would show.
uint32_t tickShift = 0;

std::string problem;  // the last failure, for the page to show

EM_JS(void, tellPageDemoEnded, (int byKey), { Module["demoEnded"](byKey != 0); });

// The page names the files without the leading '/' of the page's file system.
const char* failed(const Result& result) {
    problem = result.message();
    if (!problem.empty() && problem[0] == '/') problem.erase(0, 1);
    return problem.c_str();
}

const char* loadStrips() {
    if (const Result loaded = loadImageStrip(WipePath, wipeStrip); !loaded) return failed(loaded);   // 5
    if (const Result loaded = loadImageStrip(TextsPath, textStrip); !loaded) return failed(loaded);  // 6
    return nullptr;
}

void endDemo() {
    // The terminal demo's sound stops when its process exits; here the page
    // lives on.
    audioEngine.shutdown();
    restoreConsole();
    tellPageDemoEnded(key != 0);
}

// One animation callback: the terminal loop's steps 1-14 for every frame
// whose tick has passed.
EM_BOOL runDueFrames(double, void*) {
    for (int drawn = 0; drawn < MostFramesPerCallback; ++drawn) {
        if (!soundtrackVoiceAlive()) {  // 1-2
            endDemo();
            return EM_FALSE;
        }
        if (const int32_t pressed = pollKey(); pressed != 0) key = pressed;  // 3
        if (!tickPassed(tickCount(), frameTarget)) return EM_TRUE;           // 4: come back next callback
        frameTarget += FramePeriod;                                          // 5
        const int32_t t = static_cast<int32_t>(frameTarget - startTick);
        renderFrame(t, frameTarget + tickShift, asciiArt);  // 6-12
        presentCells(asciiArt);                             // 13
        if (key != 0) {                                     // 14
            endDemo();
            return EM_FALSE;
        }
    }
    return EM_TRUE;
}

}  // namespace

// Starts the demo; null when it runs, else one line naming the file and
// the problem. With `fixedStartTick` the text pages are those of a demo
// started at tick `startTickShown`.
extern "C" EMSCRIPTEN_KEEPALIVE const char* hgStartDemo(int fixedStartTick, uint32_t startTickShown) {
    (void)setupConsole();                                                 // the canvas is the page's: this cannot fail
    startAudioEngine();                                                   // 1
    if (const Result loaded = loadSoundtrack(SoundtrackPath); !loaded) {  // 2
        audioEngine.shutdown();
        return failed(loaded);
    }
    asciiArt.init();                       // 3
    setConsoleTitle(DemoTitle);            // 4
    if (const char* why = loadStrips()) {  // 5-6
        audioEngine.shutdown();
        return why;
    }
    startSoundtrackVoice();   // 7
    startTick = tickCount();  // 8
    setSoundtrackVolumes();   // 9
    tickShift = fixedStartTick != 0 ? startTickShown - startTick : 0;
    key = 0;
    frameTarget = startTick;
    emscripten_request_animation_frame_loop(runDueFrames, nullptr);
    return nullptr;
}

// ?frame=N and ?bench: the converter and the strips, nothing else.
extern "C" EMSCRIPTEN_KEEPALIVE const char* hgPrepareFrames() {
    (void)setupConsole();
    asciiArt.init();
    setConsoleTitle(DemoTitle);
    return loadStrips();
}

// Frame n (from 1) of a demo started at tick `startTickShown`, as the
// render tool draws it: t = 40 n. The scene's index (from 0), -1 past the
// last scene.
extern "C" EMSCRIPTEN_KEEPALIVE int hgRenderFrame(int n, uint32_t startTickShown) {
    const int32_t t = FramePeriod * n;
    renderFrame(t, startTickShown + static_cast<uint32_t>(t), asciiArt);
    return sceneIndexAt(t);
}

extern "C" EMSCRIPTEN_KEEPALIVE void hgShowFrame() {
    presentCells(asciiArt);
}

// Frames up to the end of the fade-out: the whole timeline.
extern "C" EMSCRIPTEN_KEEPALIVE int hgTimelineFrames() {
    return TimelineFrames;
}

// Frames of one scene: scene i starts at frame 1 + i * hgSceneFrames().
extern "C" EMSCRIPTEN_KEEPALIVE int hgSceneFrames() {
    return SceneLength / FramePeriod;
}
