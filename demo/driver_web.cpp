// The browser edition's driver. The page (web/page.js) puts the three data
// files into the file system and calls in here; everything runs on the
// page's one thread.
//
// hgPrepareDemo decodes the soundtrack and readies the converter and the
// strips while the page shows its title; hgStartDemo, on the visitor's
// click, starts the sound and the terminal demo's frame loop (demo/
// frame_loop.h), run from the page's animation callbacks instead of a
// blocking wait. The frame on the canvas is the one the clock picked, not
// one per callback, whatever the display's refresh rate. While the page is
// hidden its timers draw the frames due (not seen, but the effects carry
// state), so that it is in step at once on coming back. A key ends the run
// at once. The soundtrack's end ends it once its last sample is heard: the
// mixer is done with the voice a few blocks before that, and the output's
// queue plays on meanwhile, with the picture on its last frame (the black
// after the fade-out). Then the sound stops and the page is told
// (Module.demoEnded), with the engine's word on the sound.
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
// Frames drawn in one callback end within this long, going by the cost of
// the one before, so that catching up after a hidden tab or a stall never
// holds the page's thread for long.
constexpr double CallbackBudget = 8.0;  // ms
// A hidden page gets no animation callbacks, only timers, which browsers
// hold to about one a second. Each draws the frames due for up to this
// long: hidden, nobody waits for the page's thread, and the sound's queue
// holds 372 ms; so coming back, the picture is at most a second's frames
// behind, not the whole time hidden.
constexpr double HiddenBudget = 150.0;    // ms
constexpr double HiddenInterval = 250.0;  // ms between the timers asked for
// The most the end waits for the output's queue to be heard (it holds
// 372 ms): a context suspended at the end does not hold the page forever.
constexpr double EndWaitLimit = 2000.0;  // ms

FrameLoop frameLoop;
std::string problem;  // the last failure, for the page to show

EM_JS(void, tellPageDemoEnded, (int byKey, const char* sound),
      { Module["demoEnded"](byKey != 0, UTF8ToString(sound)); });
// The output plays what it holds up to output frame `last`, and pulls no more.
EM_JS(void, finishSound, (double last), {
    var feed = Module["audioFeed"];
    if (feed) feed.finish(last);
});
// True once that frame has been heard (at once without an output).
EM_JS(int, soundHeardToEnd, (), {
    var feed = Module["audioFeed"];
    if (!feed || feed.last == null) return 1;
    var heard = feed.heard();
    return heard != null && heard >= feed.last ? 1 : 0;
});
EM_JS(void, tellPageFrameShown, (int t), { Module["frameShown"](t); });

// The page names the files without the leading '/' of the page's file system.
const char* failed(const Result& result) {
    problem = result.message();
    if (!problem.empty() && problem[0] == '/') problem.erase(0, 1);
    return problem.c_str();
}

Result loadStrips() {
    if (Result loaded = loadImageStrip(WipePath, wipeStrip); !loaded) return loaded;
    return loadImageStrip(TextsPath, textStrip);
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
    // Read before the output closes: what went wrong while playing goes with it.
    const std::string sound = soundReport();
    // The terminal demo's sound stops when its process exits; here the page
    // lives on.
    audioEngine.shutdown();
    restoreConsole();
    tellPageDemoEnded(frameLoop.key() != 0, sound.c_str());
}

// Since when (emscripten_get_now) the run waits for its last sample to be
// heard; negative while it plays.
double finishingSince = -1.0;

// The soundtrack's end, on every callback from the one that found the voice
// gone: true once its last sample has been heard.
bool soundtrackHeard() {
    if (finishingSince < 0.0) {
        finishingSince = emscripten_get_now();
        finishSound(static_cast<double>(soundtrackOutputFrames()));
    }
    return soundHeardToEnd() != 0 || emscripten_get_now() - finishingSince > EndWaitLimit;
}

bool running = false;  // from the start until the page is told the run ended

// The frames whose tick has passed, within `budget` ms; false once the run
// has ended.
bool runDueFrames(double budget) {
    const double begin = emscripten_get_now();
    if (!frameLoop.soundStarted()) return true;
    double frameBegin = begin;
    for (;;) {
        switch (frameLoop.frame(Page)) {
        case FrameLoop::Step::Ended:
            if (frameLoop.key() == 0 && !soundtrackHeard()) return true;
            running = false;
            endDemo();
            return false;
        case FrameLoop::Step::NotDue:
            return true;
        case FrameLoop::Step::Drawn: {
            const double now = emscripten_get_now();
            const double cost = now - frameBegin;
            frameBegin = now;
            if (now - begin + cost > budget) return true;
            break;
        }
        }
    }
}

EM_BOOL onAnimationCallback(double, void*) {
    if (!running) return EM_FALSE;
    const double now = emscripten_get_now();
    if (lastCallback > 0.0) callbackInterval = now - lastCallback;
    lastCallback = now;
    return runDueFrames(CallbackBudget) ? EM_TRUE : EM_FALSE;
}

EM_BOOL onTimerWhileHidden(double, void*) {
    if (!running) return EM_FALSE;
    EmscriptenVisibilityChangeEvent visibility;
    if (emscripten_get_visibility_status(&visibility) == EMSCRIPTEN_RESULT_SUCCESS && visibility.hidden)
        return runDueFrames(HiddenBudget) ? EM_TRUE : EM_FALSE;
    return EM_TRUE;
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
    // The blank cells, black on black, as the canvas is: the first frame
    // then finds the picture's memory touched and its code run (8 ms less).
    presentCells(asciiArt);
    const Result loaded = loadStrips();
    return loaded ? nullptr : failed(loaded);
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
    finishingSince = -1.0;
    running = true;
    emscripten_request_animation_frame_loop(onAnimationCallback, nullptr);
    emscripten_set_timeout_loop(onTimerWhileHidden, HiddenInterval, nullptr);
}

// ?frame=N and ?bench: the converter and the strips, nothing else.
extern "C" EMSCRIPTEN_KEEPALIVE const char* hgPrepareFrames() {
    (void)setupConsole();
    asciiArt.init();
    setConsoleTitle(DemoTitle);
    const Result loaded = loadStrips();
    return loaded ? nullptr : failed(loaded);
}

// Frame n (from 1) of a demo started at tick `startTickShown`, as the
// render tool draws it: t = 40 n. The scene's index (from 0), -1 past the
// last scene.
extern "C" EMSCRIPTEN_KEEPALIVE int hgRenderFrame(int n, uint32_t startTickShown) {
    const int32_t t = FramePeriod * n;
    renderFrame(t, startTickShown + static_cast<uint32_t>(t), asciiArt);
    return sceneIndexAt(t);
}

// The engine's word on the sound so far ("" when it plays as it should), as
// the terminal demo prints it after a run.
extern "C" EMSCRIPTEN_KEEPALIVE const char* hgSoundReport() {
    static std::string report;
    report = soundReport();
    return report.c_str();
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
