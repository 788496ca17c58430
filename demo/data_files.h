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

// Finds all three files. A failure names the file and the places looked (or
// why the file found cannot be read).
Result findDataFiles(const std::vector<std::string>& directories, DataFiles& files);
