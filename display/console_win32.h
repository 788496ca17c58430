// The parts of the Windows console backend (console_win32.cpp) that work
// without a console, so that its tests can run them on their own: the random
// title the window search looks for, the search itself, and the cell copy.
#pragma once

#include <windows.h>

#include <cstdint>

namespace Win32Console {

inline constexpr int DetectionTitleLength = 80;
inline constexpr int WindowLookups = 100;
inline constexpr DWORD LookupPauseMs = 10;

// "[detecting window] " then 61 characters 'A' + (random() & 0x31), each one
// of A, B, Q, R, a, b, q, r; 80 characters and a terminating zero.
void buildDetectionTitle(char (&title)[DetectionTitleLength + 1], int (*random)());

// Up to WindowLookups times: pause, then look the title up; the first window
// found, or nullptr when none turned up.
HWND findWindowByTitle(const char* title, HWND (*lookup)(const char* title), void (*pause)(DWORD ms));

// The cells (low byte character, high byte attribute) as the console's
// CHAR_INFO entries, the attribute zero-extended; count entries each.
void fillCharInfo(const uint16_t* cells, CHAR_INFO* out, int count);

}  // namespace Win32Console
