#include <climits>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include <sys/stat.h>

#include "demo/exe_dir.h"

std::string executableDirectory(const char* argv0) {
    char path[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) return directoryOf(std::string(path, static_cast<size_t>(n)));
    // No /proc (macOS, BSDs): argv[0] names the file when started by path.
    if (argv0 != nullptr && std::strchr(argv0, '/') != nullptr) {
        char* real = realpath(argv0, nullptr);
        if (real != nullptr) {
            std::string dir = directoryOf(real);
            std::free(real);
            return dir;
        }
    }
    return {};
}

bool isBrokenLink(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) != 0 && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}
