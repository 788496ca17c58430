#include "demo/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo/data_files.h"
#include "demo/demo_objects.h"
#include "demo/frame_clock.h"
#include "demo/frame_log.h"
#include "demo/keys.h"
#include "demo/pipeline.h"
#include "demo/soundtrack.h"
#include "demo/ticks.h"
#include "display/console.h"
#include "display/titles.h"
#include "effects/buffers.h"

namespace {

constexpr const char* Usage =
    "usage: hazelglow [--fill | --exact]\n"
    "A real-time text-mode demo; any key ends it.\n"
    "In a terminal of 80x50 cells or more it shows the picture's 80x50 cells,\n"
    "centred; in a smaller one the whole picture in its true shape, as large as fits.\n"
    "  --fill     the whole picture as large as the terminal allows, whatever its size\n"
    "  --exact    always the 80x50 cells (a smaller terminal shows their middle)\n"
    "  --version  print the version and exit\n"
    "  --help     show this text and exit\n";

DataFiles dataFiles;

FrameClock frameClock;  // startTick, frameTarget, and when frames are shown
int32_t key = 0;        // last key read, 0: none

// How long to wait for the sound to say where it is before going on without it.
constexpr uint64_t SoundWaitLimit = 1000000000u;  // ns
// A frame whose tick passed this long ago was held up by more than work: the
// process was stopped (Ctrl+Z), so the sound stood still too.
constexpr uint64_t StoppedLimit = 200000000u;  // ns

// Asks the sound where its first sample is heard; with `patient`, waits
// (bounded) while the device is not playing yet. Returns false when it
// cannot say.
bool soundHeardZero(bool patient, uint64_t& heardZero) {
    const uint64_t giveUp = tickNanoseconds() + SoundWaitLimit;
    for (;;) {
        const SoundtrackHeard heard = soundtrackHeardZero(heardZero);
        if (heard == SoundtrackHeard::Known) return true;
        if (heard == SoundtrackHeard::Unknown || !patient || tickNanoseconds() > giveUp) return false;
        waitForTickPast(tickCount());  // a millisecond
    }
}

// Start-up, after the voice started: the first frame is shown when the
// soundtrack's first sample is heard, once the device says when that is.
void followSound() {
    uint64_t heardZero = 0;
    if (soundHeardZero(true, heardZero)) frameClock.startFromSound(heardZero);
}

// Each frame: moves the clock when the sound has drifted away from it.
void checkSound(bool stopped) {
    if (!frameClock.followsSound()) return;
    uint64_t heardZero = 0;
    const int32_t before = frameClock.shift();
    if (soundHeardZero(stopped, heardZero) && frameClock.observeSound(heardZero, stopped))
        logClockShift(frameClock.shift() - before, frameClock.shift());
}

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
    frameClock.startOnTick(tickCount());                                                             // 8
    setSoundtrackVolumes();                                                                          // 9
    followSound();
    return Result::ok();
}

Result runDemo() {
    openFrameLog();
    if (Result started = demoStartup(); !started) {
        closeFrameLog();
        return started;
    }
    key = 0;
    for (;;) {
        if (!soundtrackVoiceAlive()) break;                                  // 1-2
        if (const int32_t pressed = pollKey(); pressed != 0) key = pressed;  // 3
        checkSound(false);
        uint64_t late = waitForTickPast(frameClock.waitTarget());  // 4: the frame starts on its tick
        if (late > StoppedLimit && frameClock.followsSound()) {
            checkSound(true);
            late = waitForTickPast(frameClock.waitTarget());
        }
        const int32_t t = frameClock.advance();  // 5
        logFrame(t, tickNanoseconds(), late);
        renderFrame(t, frameClock.frameTarget(), asciiArt);  // 6-12
        presentCells(asciiArt);                              // 13
        if (key != 0) break;                                 // 14
        if (consoleLost()) break;                            // nobody left to show frames to
    }
    closeFrameLog();
    return Result::ok();
}

DemoOptions parseDemoOptions(int argc, const char* const* argv) {
    DemoOptions options;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) {
            options.action = DemoOptions::Action::Help;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.action = DemoOptions::Action::Version;
        } else if (std::strcmp(arg, "--fill") == 0 || std::strcmp(arg, "--exact") == 0) {
            const FitMode mode = arg[2] == 'f' ? FitMode::Fill : FitMode::Exact;
            if (options.fit != FitMode::Auto && options.fit != mode) {
                options.action = DemoOptions::Action::Refuse;
                options.problem = "--fill and --exact exclude each other";
                return options;
            }
            options.fit = mode;
        } else {
            options.action = DemoOptions::Action::Refuse;
            options.problem = std::string("unknown option '") + arg + "'";
            return options;
        }
    }
    return options;
}

const char* demoUsage() {
    return Usage;
}

int demoMain(int argc, char** argv) {
    // Options first, before the data files and the terminal are touched.
    const DemoOptions options = parseDemoOptions(argc, argv);
    switch (options.action) {
    case DemoOptions::Action::Help:
    case DemoOptions::Action::Version:
        // What was asked for is the output: failing to write it (a full disk) is a failure.
        std::fputs(options.action == DemoOptions::Action::Help ? Usage : "hazelglow " HAZELGLOW_VERSION "\n", stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
        std::fprintf(stderr, "hazelglow: standard output: %s\n", std::strerror(errno));
        return 1;
    case DemoOptions::Action::Refuse:
        std::fprintf(stderr, "hazelglow: %s\n%s", options.problem.c_str(), Usage);
        return 2;
    case DemoOptions::Action::Run:
        break;
    }
    Result ran = findDataFiles(dataDirectories(argc > 0 ? argv[0] : nullptr), dataFiles);
    if (ran) ran = setupConsole(options.fit);
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
