// The demo driver: start-up in its fixed order, then the 40 ms frame loop
// on the timeline until the soundtrack ends or a key is pressed.
//
// Main thread only; the audio engine's mixing thread runs beside it and is
// touched only through demo/soundtrack.h. Link hg_demo_core (the process
// entry itself is demo_main.cpp, so tests can link the rest).
#pragma once

#include <cstdint>
#include <string>

#include "demo/ticks.h"  // tickPassed
#include "effects/result.h"

#include "display/terminal_grid.h"

// The process entry: reads the options, finds the data files (before the
// terminal is touched), sets up the console, runs the demo and gives the
// console back. Returns 0 (also after --help and --version), 2 for an
// unknown option or a data file that is missing or unreadable, or 1 when the
// terminal went away (hung up with SIGHUP ignored) while the demo ran.
int demoMain(int argc, char** argv);

// The command line: --help, --version, --fill, --exact. Anything else
// fails with what was wrong.
struct DemoOptions {
    enum class Action : uint8_t { Run, Help, Version };
    Action action = Action::Run;
    FitMode fit = FitMode::Auto;
};
Result parseDemoOptions(int argc, const char* const* argv, DemoOptions& options);
const char* demoUsage();

// Start-up in its fixed order: audio engine, soundtrack, converter tables,
// title, image strips, soundtrack voice, start tick, voice volumes, then the
// wait for the sound to say when its first sample is heard. Stops at the
// first data file that cannot be decoded.
Result demoStartup();

// Start-up, then frames until the soundtrack ends or a key was read.
Result runDemo();
