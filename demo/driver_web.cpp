// The browser edition's driver. The page (web/page.js) puts the three data
// files into the file system and calls in here; everything runs on the
// page's one thread.
//
// hgPrepareDemo decodes the soundtrack and readies the converter and the
// strips while the page shows its title; hgStartDemo, on the visitor's
// click, starts the sound and the terminal demo's frame loop (demo/
// frame_loop.h), run from the page's animation callbacks instead of a
// blocking wait. The frame on the canvas is the one the clock picked, not
// one per callback, whatever the display's refresh rate. When the
// soundtrack has ended or a key was read, the sound stops and the page is
// told (Module.demoEnded).
//
// The page's test hooks render frames with no clock and no sound:
// hgPrepareFrames once, then hgRenderFrame for frames 1..N in order (effects
// carry state from frame to frame) and hgShowFrame.
#include <algorithm>
#include <cstdint>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>
#include <string>

#include "demo/demo_objects.h"
#include "demo/driver.h"
#include "demo/frame_loop.h"
#include "demo/pipeline.h"
#include "demo/schedule.h"
#include "demo/soundtrack.h"
#include "demo/ticks.h"
#include "display/console.h"
#include "display/cp437_utf8.h"
#include "display/titles.h"
#include "effects/buffers.h"

namespace {

// Where the page puts the data files; it fetches them by these names less
// the leading '/' (hgDataFile).
constexpr const char* DataPaths[] = {"/hazelglow.ogg", "/wipe.png", "/texts.png"};
constexpr const char* SoundtrackPath = DataPaths[0];
constexpr const char* WipePath = DataPaths[1];
constexpr const char* TextsPath = DataPaths[2];
constexpr int DataFileCount = 3;

// The sound output turns to a silent clock when Web Audio has not begun to
// play a second after it opened; the first frame waits a little longer
// than that for either to say when the soundtrack's first sample is heard.
constexpr uint64_t SoundWaitLimit = 1500000000u;  // ns
// Frames drawn in one callback stop after this long, so that catching up
// after a hidden tab never holds the page's thread for long.
constexpr double CallbackBudget = 8.0;  // ms

FrameLoop frameLoop;
std::string problem;  // the last failure, for the page to show

EM_JS(void, tellPageDemoEnded, (int byKey), { Module["demoEnded"](byKey != 0); });
EM_JS(void, tellPageFrameShown, (int t), { Module["frameShown"](t); });

// The page names the files without the leading '/' of the page's file system.
const char* failed(const Result& result) {
    problem = result.message();
    if (!problem.empty() && problem[0] == '/') problem.erase(0, 1);
    return problem.c_str();
}

const char* loadStrips() {
    if (const Result loaded = loadImageStrip(WipePath, wipeStrip); !loaded) return failed(loaded);
    if (const Result loaded = loadImageStrip(TextsPath, textStrip); !loaded) return failed(loaded);
    return nullptr;
}

// Milliseconds between the last two animation callbacks.
double callbackInterval = 16.7;
double lastCallback = 0.0;

// The page does not wait: a frame whose tick has not passed comes on a
// later callback. A frame is on the canvas from its callback until the
// next, so it is taken when its tick is nearer this callback than the next:
// half an interval early at most, half late, not a whole one late.
bool tickHasPassed(uint32_t target, uint64_t& late) {
    const uint64_t now = tickNanoseconds();
    const auto lead = static_cast<uint32_t>(std::min(callbackInterval, 20.0) / 2);
    if (!tickPassed(static_cast<uint32_t>(now / 1000000u) + lead, target)) return false;
    const uint64_t moment = tickPassMoment(target, now);
    late = now > moment ? now - moment : 0;
    return true;
}

// A frame whose successor is already due stays off the canvas: after a
// hidden tab the missed frames are drawn (the effects carry state) without
// the picture racing through them.
void presentLatest(int32_t t) {
    uint64_t late = 0;
    if (tickHasPassed(frameLoop.clock().waitTarget(), late)) return;
    presentCells(asciiArt);
    tellPageFrameShown(t);
}

bool pageLost() {
    return false;  // the page outlives the demo
}

const FrameLoop::Platform Page = {tickHasPassed, presentLatest, pageLost, nullptr};

void endDemo() {
    // The terminal demo's sound stops when its process exits; here the page
    // lives on.
    audioEngine.shutdown();
    restoreConsole();
    tellPageDemoEnded(frameLoop.key() != 0);
}

// One animation callback: the frames whose tick has passed, within the
// callback's budget.
EM_BOOL runDueFrames(double, void*) {
    const double begin = emscripten_get_now();
    if (lastCallback > 0.0) callbackInterval = begin - lastCallback;
    lastCallback = begin;
    if (!frameLoop.soundStarted()) return EM_TRUE;
    for (;;) {
        switch (frameLoop.frame(Page)) {
        case FrameLoop::Step::Ended:
            endDemo();
            return EM_FALSE;
        case FrameLoop::Step::NotDue:
            return EM_TRUE;
        case FrameLoop::Step::Drawn:
            if (emscripten_get_now() - begin > CallbackBudget) return EM_TRUE;
            break;
        }
    }
}

}  // namespace

// While the title shows: the soundtrack decoded, the converter's tables and
// the strips. Null when ready, else one line naming the file and the problem.
extern "C" EMSCRIPTEN_KEEPALIVE const char* hgPrepareDemo() {
    (void)setupConsole();  // the canvas is the page's: this cannot fail
    // An undecodable soundtrack would leave an empty voice that ends the
    // demo at once: a failure that looks like success.
    if (const Result loaded = loadSoundtrack(SoundtrackPath); !loaded) return failed(loaded);
    asciiArt.init();
    setConsoleTitle(DemoTitle);
    return loadStrips();
}

// On the click, after hgPrepareDemo: the sound and the frames start. With
// `fixedStartTick` the text pages are those of a demo started at tick
// `startTickShown`.
extern "C" EMSCRIPTEN_KEEPALIVE void hgStartDemo(int fixedStartTick, uint32_t startTickShown) {
    startAudioEngine();
    startSoundtrackVoice();
    const uint32_t start = tickCount();
    frameLoop.start(start, SoundWaitLimit, fixedStartTick != 0 ? startTickShown - start : 0);
    setSoundtrackVolumes();
    lastCallback = 0.0;
    emscripten_request_animation_frame_loop(runDueFrames, nullptr);
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

// The page's own copy of the demo's names: data file i (from 0) as the
// page fetches it, null past the last; the title in UTF-8.
extern "C" EMSCRIPTEN_KEEPALIVE const char* hgDataFile(int i) {
    return i >= 0 && i < DataFileCount ? DataPaths[i] + 1 : nullptr;
}

extern "C" EMSCRIPTEN_KEEPALIVE const char* hgTitle() {
    static char utf8[128];
    cp437ToUtf8(DemoTitle, utf8, sizeof utf8);
    return utf8;
}

// Frames up to the end of the fade-out: the whole timeline.
extern "C" EMSCRIPTEN_KEEPALIVE int hgTimelineFrames() {
    return TimelineFrames;
}

// Frames of one scene: scene i starts at frame 1 + i * hgSceneFrames().
extern "C" EMSCRIPTEN_KEEPALIVE int hgSceneFrames() {
    return SceneLength / FramePeriod;
}
