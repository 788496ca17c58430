#include "demo/driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

uint32_t startTick = 0;    // tick count right after the soundtrack started
uint32_t frameTarget = 0;  // tick to pass before the next frame; +40 per frame
int32_t key = 0;           // last key read, 0: none

// "rUUX - Vörnikö - Hazel Glow - ZKPW07" in code page 437 (ö is 0x94).
constexpr const char* DemoTitle = "rUUX - V\x94rnik\x94 - Hazel Glow - ZKPW07";

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
        presentCells(asciiArt);                 // 13
        if (key != 0) break;                    // 14
    }
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
        std::fputs(Usage, stdout);
        return 0;
    case DemoOptions::Action::Version:
        std::puts("hazelglow " HAZELGLOW_VERSION);
        return 0;
    case DemoOptions::Action::Refuse:
        std::fprintf(stderr, "hazelglow: %s\n%s", options.problem.c_str(), Usage);
        return 2;
    case DemoOptions::Action::Run:
        break;
    }
    std::string message;
    if (!findDataFiles(dataDirectories(argc > 0 ? argv[0] : nullptr), dataFiles, message)) {
        std::fprintf(stderr, "hazelglow: %s\n", message.c_str());
        return 2;
    }
    setupConsole(options.fit);
    runDemo();
    restoreConsole();
    return 0;
}
