// The demo driver: start-up in its fixed order, then the 40 ms frame loop
// on the timeline until the soundtrack ends or a key is pressed.
//
// Main thread only; the audio engine's mixing thread runs beside it and is
// touched only through demo/soundtrack.h. Link hg_demo_core (the process
// entry itself is demo_main.cpp, so tests can link the rest).
#pragma once

#include <cstdint>

// The window title: "rUUX - Vörnikö - Hazel Glow - ZKPW07" in code page 437
// (ö is 0x94). The terminal and the browser edition both set it.
inline constexpr const char* DemoTitle = "rUUX - V\x94rnik\x94 - Hazel Glow - ZKPW07";

// The process entry: finds the data files (before the terminal is
// touched), sets up the console, runs the demo and gives the console back.
// Returns 0, or 2 when a data file is missing or unreadable.
int demoMain(int argc, char** argv);

// Start-up steps 1-9: audio engine, soundtrack, converter tables, title,
// image strips, soundtrack voice, start tick, voice volumes.
void demoStartup();

// Start-up, then frames until the soundtrack ends or a key was read.
void runDemo();

// True once the tick count `now` is past `target`. Compared as the signed
// distance between the two, so the wait stays right when the 32-bit tick
// count wraps during a run.
constexpr bool tickPassed(uint32_t now, uint32_t target) {
    return static_cast<int32_t>(now - target) > 0;
}
