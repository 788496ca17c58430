// Every terminal control sequence the demo sends, in one list: ECMA-48 CSI
// sequences, DEC private modes and xterm's window and title operations.
// Fixed sequences are complete strings; the parameterised ones (cursor
// moves, colours, titles) are given as their fixed parts, and the frame
// builder puts the numbers between them. Pure data; no terminal needed.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

namespace TermSeq {

using namespace std::string_view_literals;

// The named sequences one after another, as one constant string: each piece
// is spelled once, and a combination cannot drift from its pieces.
template <const std::string_view&... Pieces>
struct Joined {
    static constexpr auto bytes = [] {
        std::array<char, (Pieces.size() + ... + 0)> out{};
        size_t i = 0;
        for (std::string_view piece : {Pieces...})
            for (char c : piece) out[i++] = c;
        return out;
    }();
    static constexpr std::string_view value{bytes.data(), bytes.size()};
};

// Set-up, in the order it is sent, and its undo.
inline constexpr auto AltScreenOn = "\x1b[?1049h"sv;    // save cursor, own screen, cleared
inline constexpr auto AltScreenOff = "\x1b[?1049l"sv;   // back to the main screen and cursor
inline constexpr auto ResizeBegin = "\x1b[8;"sv;        // xterm: text area in cells, then rows;columns and ResizeEnd
inline constexpr auto ResizePixelsBegin = "\x1b[4;"sv;  // xterm: the same in pixels, height;width
inline constexpr char ResizeEnd = 't';
inline constexpr auto WrapOff = "\x1b[?7l"sv;  // DECAWM off: the last column never wraps
inline constexpr auto WrapOn = "\x1b[?7h"sv;
inline constexpr auto TitlePush = "\x1b[22;0t"sv;  // xterm: save icon and window title on the stack
inline constexpr auto TitlePop = "\x1b[23;0t"sv;   // xterm: give them back
inline constexpr auto CursorHide = "\x1b[?25l"sv;
inline constexpr auto CursorShow = "\x1b[?25h"sv;
inline constexpr auto ColoursReset = "\x1b[0m"sv;
inline constexpr auto ClearScreen = "\x1b[2J"sv;  // erases with the current background
inline constexpr auto CursorHome = "\x1b[H"sv;

// A frame is one synchronized update: the terminal shows it whole or not yet.
inline constexpr auto SyncBegin = "\x1b[?2026h"sv;
inline constexpr auto SyncEnd = "\x1b[?2026l"sv;

// Device status report: the terminal answers StatusAnswer (or, when it has
// a fault, CSI 3 n) once it has processed everything sent before the query.
inline constexpr auto StatusQuery = "\x1b[5n"sv;
inline constexpr auto StatusAnswer = "\x1b[0n"sv;

// Parameterised sequences: Csi, the numbers separated by ParamSeparator,
// then the final byte.
inline constexpr auto Csi = "\x1b["sv;
inline constexpr char ParamSeparator = ';';
inline constexpr char CursorPositionFinal = 'H';  // CUP row;column, 1-based; row alone: column 1
inline constexpr char CursorForwardFinal = 'C';   // CUF n; no number: one column
inline constexpr char SgrFinal = 'm';             // colours
inline constexpr int SgrForeground = 30;          // + ANSI colour 0..7
inline constexpr int SgrBackground = 40;
inline constexpr int SgrBrightForeground = 90;  // aixterm's bright colours
inline constexpr int SgrBrightBackground = 100;
inline constexpr auto SgrForegroundRgb = "38;2;"sv;  // then r;g;b
inline constexpr auto SgrBackgroundRgb = "48;2;"sv;

// Window title: TitleBegin, the UTF-8 title (no control bytes), TitleEnd.
inline constexpr auto TitleBegin = "\x1b]0;"sv;
inline constexpr auto TitleEnd = "\x07"sv;

// What set-up sends before the first title (then only the cursor is
// hidden; the window is not sized in cells, which would give the 80x50
// cells a shape other than the picture's, nor ever shrunk), and the
// restore string that undoes all of set-up in reverse order. The restore
// string starts with an ESC, which also ends any sequence a signal cut
// short; it clears the demo's screen with the cursor at the top left, so a
// terminal without an alternate screen is left blank with the prompt at
// the start of a line. A request to grow the window, and asking the size
// back just before the restore, depend on the terminal: set-up makes them.
inline constexpr auto ConsoleEnter = Joined<AltScreenOn, WrapOff, TitlePush>::value;
inline constexpr auto ConsoleRestore =
    Joined<SyncEnd, ColoursReset, CursorHome, ClearScreen, CursorShow, TitlePop, WrapOn, AltScreenOff>::value;

}  // namespace TermSeq
