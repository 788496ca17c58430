#include "demo/driver.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "demo/data_files.h"
#include "demo/demo_objects.h"
#include "demo/keys.h"
#include "demo/pipeline.h"
#include "demo/soundtrack.h"
#include "demo/ticks.h"
#include "display/console.h"
#include "effects/buffers.h"

namespace {

// The process arguments: kept, never used (the demo takes no options).
int argumentCount = 0;
char** arguments = nullptr;

DataFiles dataFiles;

uint32_t startTick = 0;    // tick count right after the soundtrack started
uint32_t frameTarget = 0;  // tick to pass before the next frame; +40 per frame
int32_t key = 0;           // last key read, 0: none

// A data file found readable before the terminal was touched that still
// cannot be decoded: give the terminal back, say why and stop.
[[noreturn]] void stopWithBadDataFile(const std::string& path, const char* problem) {
    restoreConsole();
    std::fprintf(stderr, "hazelglow: %s: %s\n", path.c_str(), problem);
    std::exit(2);
}

void loadStripOrStop(const std::string& path, ImageStrip& strip) {
    std::string error;
    if (!loadImageStrip(path.c_str(), strip, error)) stopWithBadDataFile(path, error.c_str());
}

}  // namespace

void demoStartup() {
    startAudioEngine();  // 1
    // An undecodable soundtrack would leave an empty voice that ends the
    // demo at once with status 0: a failure that looks like success.
    if (const char* problem = loadSoundtrack(dataFiles.soundtrack.c_str()))  // 2
        stopWithBadDataFile(dataFiles.soundtrack, problem);
    asciiArt.init();                              // 3
    setConsoleTitle(DemoTitle);                   // 4
    loadStripOrStop(dataFiles.wipe, wipeStrip);   // 5
    loadStripOrStop(dataFiles.texts, textStrip);  // 6
    startSoundtrackVoice();                       // 7
    startTick = tickCount();                      // 8
    setSoundtrackVolumes();                       // 9
}

void runDemo() {
    demoStartup();
    key = 0;
    frameTarget = startTick;
    for (;;) {
        if (!soundtrackVoiceAlive()) break;                                  // 1-2
        if (const int32_t pressed = pollKey(); pressed != 0) key = pressed;  // 3
        while (!tickPassed(tickCount(), frameTarget)) {
            // 4: busy wait, no sleep: the frame starts on the tick.
        }
        frameTarget += 40;  // 5
        const int32_t t = static_cast<int32_t>(frameTarget - startTick);
        renderFrame(t, frameTarget, asciiArt);  // 6-12
        presentCells();                         // 13
        if (key != 0) break;                    // 14
    }
}

int demoMain(int argc, char** argv) {
    argumentCount = argc;
    arguments = argv;
    std::string message;
    if (!findDataFiles(dataDirectories(argc > 0 ? argv[0] : nullptr), dataFiles, message)) {
        std::fprintf(stderr, "hazelglow: %s\n", message.c_str());
        return 2;
    }
    setupConsole();
    runDemo();
    restoreConsole();
    return 0;
}
