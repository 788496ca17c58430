// The console: the 80x50 character surface the demo shows its cells on.
//
// setupConsole() takes over the terminal or console window once, before
// anything else runs; presentCells() shows the CellBuffer, once per frame;
// restoreConsole() gives back everything set-up changed. Main thread only.
//
// Backends, one file each, picked by display/CMakeLists.txt (link hg_console):
//   console_posix.cpp  a POSIX terminal through ANSI and xterm sequences; it
//                      also restores the terminal on fatal signals
//   console_win32.cpp  the Windows console
#pragma once

#include "effects/result.h"

// Takes over standard output's terminal. Fails, touching nothing, when
// standard output is not a terminal (or there is no console window).
Result setupConsole();

// Sets the window title; the text is in code page 437.
void setConsoleTitle(const char* cp437Title);

// Shows the CellBuffer.
void presentCells();

// True once the console cannot show anything any more (a terminal that hung
// up or was closed); the demo then stops with a failure status.
bool consoleLost();

// Gives back everything setupConsole changed. Safe to call more than once
// and without set-up; also runs at normal process exit.
void restoreConsole();
