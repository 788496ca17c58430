// What the render tool's outputs need of the system, one file per platform
// (output_file_posix.cpp, output_file_win32.cpp): what an asked name is,
// carrying a replaced file's mode and owner over, and removing temporary
// files when a signal ends the run.
#pragma once

#include <string>

struct OutputTarget {
    enum class Kind {
        Missing,    // nothing there yet: written under a temporary name, then renamed
        Regular,    // replaced the same way, keeping its mode and owner
        Linked,     // a regular file with other hard links: rewritten in place at the end
        Stream,     // a device, a FIFO or a descriptor: written straight through
        Directory,  // refused
        Unusable,   // refused; `problem` says why
    };
    Kind kind = Kind::Missing;
    std::string path;  // the file itself, symbolic links followed
    std::string problem;
};

OutputTarget inspectOutput(const std::string& path);

// Gives `temporary` the mode and, where the tool may set it, the owner of
// `replaced`, before it is renamed over it.
void keepAttributes(const std::string& replaced, const std::string& temporary);

unsigned long outputProcessId();

// While guarded, `path` is removed when a signal ends the process (which
// then dies of that signal as it would have). Returns a slot for
// releaseTemporary, or -1 when all slots are taken.
int guardTemporary(const std::string& path);
void releaseTemporary(int slot);
