// The browser edition has no executable on a file system: its data files
// sit in the page's own file system, at its root.
#include <sys/stat.h>

#include "demo/exe_dir.h"

std::string executableDirectory(const char*) {
    return {};
}

bool isBrokenLink(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}
