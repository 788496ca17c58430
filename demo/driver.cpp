#include "demo/driver.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "demo/data_files.h"
#include "demo/demo_objects.h"
#include "demo/frame_log.h"
#include "demo/frame_loop.h"
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
    "It shows the whole picture in its true shape, as large as the terminal allows,\n"
    "centred; where the terminal's cells have the console's 8x12 shape and room for\n"
    "80x50 of them, those are the picture's 80x50 cells themselves.\n"
    "  --fill     the default, named: the whole picture as large as fits\n"
    "  --exact    always the 80x50 cells, whatever the cells' shape (too narrow on\n"
    "             most terminals; a smaller terminal shows their middle)\n"
    "  --version  print the version and exit\n"
    "  --help     show this text and exit\n";

DataFiles dataFiles;

FrameLoop frameLoop;

// How long to wait for the sound to say where it is before going on without it.
constexpr uint64_t SoundWaitLimit = 1000000000u;  // ns

// The console watches the terminal (its answers, keys) until just before
// the tick, so that the wait's last stretch is the clock's alone.
constexpr uint64_t WatchMargin = 1000000u;  // ns

bool waitForTick(uint32_t target, uint64_t& late) {
    const uint64_t due = tickPassMoment(target, tickNanoseconds());
    if (due > WatchMargin) watchConsole(due - WatchMargin);
    late = waitForTickPast(target);
    return true;
}

void presentFrame(int32_t) {
    presentCells(asciiArt, frameLoop.frameDue());
}

const FrameLoop::Platform Terminal = {waitForTick, presentFrame, consoleLost, consoleLead};

}  // namespace

// A data file found readable before the terminal was touched can still fail
// to decode here; the failure goes up to demoMain, which gives the terminal
// back, says why and stops.
Result demoStartup() {
    startAudioEngine();
    // An undecodable soundtrack would leave an empty voice that ends the
    // demo at once with status 0: a failure that looks like success.
    if (Result loaded = loadSoundtrack(dataFiles.soundtrack.c_str()); !loaded) return loaded;
    asciiArt.init();
    setConsoleTitle(DemoTitle);
    if (Result loaded = loadImageStrip(dataFiles.wipe.c_str(), wipeStrip); !loaded) return loaded;
    if (Result loaded = loadImageStrip(dataFiles.texts.c_str(), textStrip); !loaded) return loaded;
    startSoundtrackVoice();
    frameLoop.start(tickCount(), SoundWaitLimit);
    setSoundtrackVolumes();
    // The first frame is shown when the soundtrack's first sample is heard,
    // once the device says when that is.
    while (!frameLoop.soundStarted()) waitForTickPast(tickCount());  // a millisecond
    return Result::ok();
}

Result runDemo() {
    openFrameLog();
    if (Result started = demoStartup(); !started) {
        closeFrameLog();
        return started;
    }
    while (frameLoop.frame(Terminal) != FrameLoop::Step::Ended) {}
    closeFrameLog();
    return Result::ok();
}

Result parseDemoOptions(int argc, const char* const* argv, DemoOptions& options) {
    options = DemoOptions{};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0) {
            options.action = DemoOptions::Action::Help;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.action = DemoOptions::Action::Version;
        } else if (std::strcmp(arg, "--fill") == 0 || std::strcmp(arg, "--exact") == 0) {
            const FitMode mode = arg[2] == 'f' ? FitMode::Fill : FitMode::Exact;
            if (options.fit != FitMode::Auto && options.fit != mode)
                return Result::failed("", "--fill and --exact exclude each other");
            options.fit = mode;
        } else {
            return Result::failed("", std::string("unknown option '") + arg + "'");
        }
    }
    return Result::ok();
}

const char* demoUsage() {
    return Usage;
}

int demoMain(int argc, char** argv) {
    // Options first, before the data files and the terminal are touched.
    DemoOptions options;
    if (const Result parsed = parseDemoOptions(argc, argv, options); !parsed) {
        std::fprintf(stderr, "hazelglow: %s\n%s", parsed.message().c_str(), Usage);
        return 2;
    }
    switch (options.action) {
    case DemoOptions::Action::Help:
    case DemoOptions::Action::Version:
        // What was asked for is the output: failing to write it (a full disk) is a failure.
        std::fputs(options.action == DemoOptions::Action::Help ? Usage : "hazelglow " HAZELGLOW_VERSION "\n", stdout);
        if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return 0;
        std::fprintf(stderr, "hazelglow: standard output: %s\n", std::strerror(errno));
        return 1;
    case DemoOptions::Action::Run:
        break;
    }
    Result ran = findDataFiles(dataDirectories(argc > 0 ? argv[0] : nullptr), dataFiles);
    if (ran) ran = setupConsole(options.fit);
    if (ran) ran = runDemo();
    // Read before the output closes: what went wrong while playing goes with it.
    const std::string sound = soundReport();
    audioEngine.shutdown();  // silent while a terminal that stopped reading is waited for
    restoreConsole();
    if (!ran) {
        std::fprintf(stderr, "hazelglow: %s\n", ran.message().c_str());
        return 2;
    }
    // Said once the terminal is the user's again, so it stays readable.
    if (!sound.empty()) std::fprintf(stderr, "hazelglow: %s\n", sound.c_str());
    if (consoleLost()) {
        std::fputs("hazelglow: the terminal is gone; stopping\n", stderr);
        return 1;
    }
    return 0;
}
