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
//   console_web.cpp    the browser edition's canvas
#pragma once

// Takes over standard output's terminal. When standard output is not a
// terminal it prints one line on stderr and ends the process with status 2.
void setupConsole();

// Sets the window title; the text is in code page 437.
void setConsoleTitle(const char* cp437Title);

// Shows the CellBuffer.
void presentCells();

// Gives back everything setupConsole changed. Safe to call more than once
// and without set-up; also runs at normal process exit.
void restoreConsole();
