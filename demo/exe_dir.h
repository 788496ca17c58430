// The folder of the running executable, and whether a name is a broken
// link, asked of the system. One file per platform (exe_dir_posix.cpp,
// exe_dir_win32.cpp, exe_dir_web.cpp), picked by demo/CMakeLists.txt.
#pragma once

#include <string>

// The folder, with '/' separators and no trailing one; empty when the
// system cannot say. `argv0` is used only where the system cannot name the
// running executable itself.
std::string executableDirectory(const char* argv0);

// Everything before the last '/' of `path`: "." without one, "/" for a file
// in the root.
std::string directoryOf(const std::string& path);

// A name that is there but leads nowhere: a symbolic link to nothing, or a
// loop of them. Such a file is broken, not absent. Always false on Windows.
bool isBrokenLink(const std::string& path);
