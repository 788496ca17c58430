// The console: the character surface the demo shows its cells on.
//
// setupConsole() takes over the terminal or console window once, before
// anything else runs; presentCells() shows the frame, once per frame (a
// terminal that has not taken the last one yet skips it, never waited for);
// restoreConsole() gives back everything set-up changed. Main thread only.
// A POSIX terminal's input is the console's own while the terminal is the
// demo's: it reads the terminal's answers there, and the keys with them
// (demo/keys_posix.cpp asks it for those).
//
// Backends, one file each, picked by display/CMakeLists.txt (link hg_console):
//   console_posix.cpp  a POSIX terminal through ANSI and xterm sequences, at
//                      whatever size it has (display/terminal_picture.h); it
//                      also restores the terminal on fatal signals
//   console_win32.cpp  the Windows console, always 80x50 cells
//   console_web.cpp    the browser edition's canvas
#pragma once

#include <cstdint>

#include "effects/result.h"

#include "display/terminal_grid.h"

class PKR_AsciiArt;

// Takes over standard output's terminal. Fails, touching nothing, when
// standard output is not a terminal (or there is no console window).
// `fit` says what a terminal of another size than 80x50 shows (the
// Windows console has that size and ignores it).
Result setupConsole(FitMode fit = FitMode::Auto);

// Sets the window title; the text is in code page 437.
void setConsoleTitle(const char* cp437Title);

// Shows the CellBuffer, or on a terminal that gets a fitted grid the
// FrameBuffer converted to it with `converter`'s pattern table (built by
// then) and the CellBuffer's colours. `dueNs` (tickNanoseconds; 0: now) is
// the frame's moment: a slow terminal gets the frame so that it arrives
// then, or not at all when it could not.
void presentCells(const PKR_AsciiArt& converter, uint64_t dueNs = 0);

// Waits until `untilNs` (tickNanoseconds), reading what the terminal sends
// meanwhile (its answers, a key); returns at once where there is nothing to
// read, and early on an ending signal. The frame loop's wait.
void watchConsole(uint64_t untilNs);

// How many milliseconds before its moment a frame should be drawn, so that
// a slow terminal can have it on screen by then; 0 on one that keeps up.
uint32_t consoleLead();

// True once the console cannot show anything any more (a terminal that hung
// up or was closed; the demo then stops with a failure status), or, on a
// terminal, once a signal asked the demo to end (restoreConsole then dies of
// it): either way the frame loop ends.
bool consoleLost();

// Gives back everything setupConsole changed. Safe to call more than once
// and without set-up; also runs at normal process exit. A terminal that has
// stopped reading gets it once it reads again: this waits until then.
void restoreConsole();
