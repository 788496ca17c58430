// Where pollKey() reads keys on POSIX (demo/keys_posix.cpp).
#pragma once

// Standard input when it is a terminal, else the controlling terminal
// (/dev/tty, opened once: standard input may be /dev/null or a pipe), else
// -1: no terminal to read, so no keys at all. The console makes the same
// choice for the terminal whose echo it turns off.
int keyInput();

// Reads keys from `fd` from now on (-1: none); KeyInputAuto chooses again
// as above. Tests put a pipe there.
inline constexpr int KeyInputAuto = -2;
void setKeyInput(int fd);
