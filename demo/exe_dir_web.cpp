// The browser edition has no executable on a file system: its data files
// sit in the page's own file system, at its root.
#include "demo/exe_dir.h"

std::string executableDirectory(const char*) {
    return {};
}
