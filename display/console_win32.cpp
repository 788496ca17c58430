// The Windows console: a screen buffer of the demo's own, 80x50 cells in code
// page 437, shown with one WriteConsoleOutputA per frame. The console's window
// is found by giving the console a random title for a moment and searching
// the desktop for it, then placed at (0, 0) and sized to 640x640 pixels.
#include "display/console_win32.h"
#include "display/console.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "display/titles.h"
#include "effects/buffers.h"

namespace Win32Console {

void buildDetectionTitle(char (&title)[DetectionTitleLength + 1], int (*random)()) {
    static constexpr char Prefix[] = "[detecting window] ";
    int i = 0;
    for (; Prefix[i] != '\0'; ++i) title[i] = Prefix[i];
    for (; i < DetectionTitleLength; ++i) title[i] = static_cast<char>('A' + (random() & 0x31));
    title[DetectionTitleLength] = '\0';
}

HWND findWindowByTitle(const char* title, HWND (*lookup)(const char* title), void (*pause)(DWORD ms)) {
    HWND found = nullptr;
    for (int i = 0; i < WindowLookups && found == nullptr; ++i) {
        pause(LookupPauseMs);
        found = lookup(title);
    }
    return found;
}

void fillCharInfo(const uint16_t* cells, CHAR_INFO* out, int count) {
    for (int i = 0; i < count; ++i) {
        out[i].Char.AsciiChar = static_cast<CHAR>(cells[i] & 0xFF);
        out[i].Attributes = static_cast<WORD>(cells[i] >> 8);
    }
}

}  // namespace Win32Console

namespace {

constexpr UINT Cp437 = 437;
constexpr int WindowPixels = 640;

HANDLE consoleOutput = INVALID_HANDLE_VALUE;
HWND consoleWindow = nullptr;

// What set-up changed, so that restoreConsole can give it back. The console
// control handler runs on a thread of its own, hence the atomic flag.
std::atomic<bool> active{false};
HANDLE previousOutput = INVALID_HANDLE_VALUE;
UINT previousCodePage = 0;
char previousTitle[1024] = {};  // empty when the console had no title
RECT previousWindowRect = {};
bool windowRectSaved = false;

HWND lookUpTopLevelWindow(const char* title) {
    return FindWindowA(nullptr, title);
}

void pauseFor(DWORD ms) {
    Sleep(ms);
}

int randomValue() {
    return std::rand();
}

// Ctrl+C, Ctrl+Break and closing the window: give the console back, then let
// the default handler end the process.
BOOL WINAPI onConsoleControl(DWORD) {
    restoreConsole();
    return FALSE;
}

}  // namespace

Result setupConsole(FitMode) {
    if (active) return Result::ok();
    consoleOutput = CreateConsoleScreenBuffer(GENERIC_WRITE, 0, nullptr, CONSOLE_TEXTMODE_BUFFER, nullptr);
    // No console to draw in (started detached, or from a GUI without one).
    if (consoleOutput == INVALID_HANDLE_VALUE)
        return Result::failed("", "no console window to draw in; run the demo from a console");
    // CONOUT$ is the screen buffer shown now, whatever standard output is.
    previousOutput = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    previousCodePage = GetConsoleOutputCP();
    if (GetConsoleTitleA(previousTitle, sizeof previousTitle) == 0) previousTitle[0] = '\0';
    active = true;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    std::atexit(restoreConsole);

    SetConsoleActiveScreenBuffer(consoleOutput);
    SetConsoleScreenBufferSize(consoleOutput, COORD{CellColumns, CellRows});
    SetConsoleMode(consoleOutput, 0);
    SetConsoleOutputCP(Cp437);

    std::srand(GetTickCount());
    char detectionTitle[Win32Console::DetectionTitleLength + 1];
    Win32Console::buildDetectionTitle(detectionTitle, randomValue);
    SetConsoleTitleA(detectionTitle);
    consoleWindow = Win32Console::findWindowByTitle(detectionTitle, lookUpTopLevelWindow, pauseFor);
    SetConsoleTitleA(SetupTitle);

    windowRectSaved = consoleWindow != nullptr && GetWindowRect(consoleWindow, &previousWindowRect);
    // Made even when no window was found; it then does nothing.
    SetWindowPos(consoleWindow, nullptr, 0, 0, WindowPixels, WindowPixels, 0);
    return Result::ok();
}

void setConsoleTitle(const char* cp437Title) {
    SetConsoleTitleA(cp437Title);
}

// The console takes the whole grid in one call and never blocks: nothing
// to watch and no reason to draw ahead.
void watchConsole(uint64_t) {}

uint32_t consoleLead() {
    return 0;
}

void presentCells(const PKR_AsciiArt&, uint64_t) {
    if (!active) return;
    CHAR_INFO cells[CellCount];
    Win32Console::fillCharInfo(CellBuffer, cells, CellCount);
    SMALL_RECT region{0, 0, CellColumns - 1, CellRows - 1};
    WriteConsoleOutputA(consoleOutput, cells, COORD{CellColumns, CellRows}, COORD{0, 0}, &region);
    // Every frame: the console may show the cursor again after a write.
    const CONSOLE_CURSOR_INFO hidden{1, FALSE};
    SetConsoleCursorInfo(consoleOutput, &hidden);
}

void restoreConsole() {
    if (!active.exchange(false)) return;
    if (windowRectSaved) {
        SetWindowPos(consoleWindow, nullptr, previousWindowRect.left, previousWindowRect.top,
                     previousWindowRect.right - previousWindowRect.left,
                     previousWindowRect.bottom - previousWindowRect.top, SWP_NOZORDER);
    }
    SetConsoleTitleA(previousTitle);
    if (previousCodePage != 0) SetConsoleOutputCP(previousCodePage);
    if (previousOutput != INVALID_HANDLE_VALUE) SetConsoleActiveScreenBuffer(previousOutput);
}

// A console window cannot go away under a running program: closing it ends
// the process (CTRL_CLOSE_EVENT), so there is never a console left to lose.
bool consoleLost() {
    return false;
}
