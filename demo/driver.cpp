#include "demo/driver.h"

#include <cstdio>
#include <string>

#include "demo/data_files.h"
#include "demo/demo_objects.h"
#include "demo/keys.h"
#include "demo/pipeline.h"
#include "demo/soundtrack.h"
#include "demo/ticks.h"
#include "display/console.h"
#include "display/titles.h"
#include "effects/buffers.h"

namespace {

// The process arguments: kept, never used (the demo takes no options).
int argumentCount = 0;
char** arguments = nullptr;

DataFiles dataFiles;

uint32_t startTick = 0;    // tick count right after the soundtrack started
uint32_t frameTarget = 0;  // tick to pass before the next frame; +FramePeriod per frame
int32_t key = 0;           // last key read, 0: none

}  // namespace

// A data file found readable before the terminal was touched can still fail
// to decode here; the failure goes up to demoMain, which gives the terminal
// back, says why and stops.
Result demoStartup() {
    startAudioEngine();  // 1
    // An undecodable soundtrack would leave an empty voice that ends the
    // demo at once with status 0: a failure that looks like success.
    if (Result loaded = loadSoundtrack(dataFiles.soundtrack.c_str()); !loaded) return loaded;        // 2
    asciiArt.init();                                                                                 // 3
    setConsoleTitle(DemoTitle);                                                                      // 4
    if (Result loaded = loadImageStrip(dataFiles.wipe.c_str(), wipeStrip); !loaded) return loaded;   // 5
    if (Result loaded = loadImageStrip(dataFiles.texts.c_str(), textStrip); !loaded) return loaded;  // 6
    startSoundtrackVoice();                                                                          // 7
    startTick = tickCount();                                                                         // 8
    setSoundtrackVolumes();                                                                          // 9
    return Result::ok();
}

Result runDemo() {
    if (Result started = demoStartup(); !started) return started;
    key = 0;
    frameTarget = startTick;
    for (;;) {
        if (!soundtrackVoiceAlive()) break;                                  // 1-2
        if (const int32_t pressed = pollKey(); pressed != 0) key = pressed;  // 3
        while (!tickPassed(tickCount(), frameTarget)) {
            // 4: busy wait, no sleep: the frame starts on the tick.
        }
        frameTarget += FramePeriod;  // 5
        const int32_t t = static_cast<int32_t>(frameTarget - startTick);
        renderFrame(t, frameTarget, asciiArt);  // 6-12
        presentCells();                         // 13
        if (key != 0) break;                    // 14
        if (consoleLost()) break;               // nobody left to show frames to
    }
    return Result::ok();
}

int demoMain(int argc, char** argv) {
    argumentCount = argc;
    arguments = argv;
    Result ran = findDataFiles(dataDirectories(argc > 0 ? argv[0] : nullptr), dataFiles);
    if (ran) ran = setupConsole();
    if (ran) ran = runDemo();
    restoreConsole();
    if (!ran) {
        std::fprintf(stderr, "hazelglow: %s\n", ran.message().c_str());
        return 2;
    }
    if (consoleLost()) {
        std::fputs("hazelglow: the terminal is gone; stopping\n", stderr);
        return 1;
    }
    return 0;
}
