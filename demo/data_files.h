// Where the demo finds its three data files: in the working directory,
// then beside the executable, then in the installed data directory
// (<prefix>/share/hazelglow). Each file is taken from the first place that
// has it.
#pragma once

#include <string>
#include <vector>

#include "effects/result.h"

struct DataFiles {
    std::string soundtrack;  // hazelglow.ogg
    std::string wipe;        // wipe.png
    std::string texts;       // texts.png
};

// The places looked in, in order, without duplicates. `argv0` is used only
// where the system cannot name the running executable itself.
std::vector<std::string> dataDirectories(const char* argv0);

// Worked when `path` names a regular file that can be read and is not
// empty; otherwise failed with the path and why not, in words. A folder or a FIFO (whose opening would
// wait for a writer) is "not a regular file"; a dangling symbolic link or a
// loop of them is broken, not missing. Also used by the render tool.
Result dataFileReadable(const std::string& path);

// Finds all three files; a broken one stops the search rather than being
// passed over for a copy further down the list. A failure names the file and
// the places looked (or why the file found cannot be read).
Result findDataFiles(const std::vector<std::string>& directories, DataFiles& files);
