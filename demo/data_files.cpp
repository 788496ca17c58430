#include "demo/data_files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "demo/exe_dir.h"

#ifndef HAZELGLOW_DATA_INSTALL_DIR
#error "the build names the installed data directory"
#endif

namespace {

// Empty when the file can be read.
std::string whyUnreadable(const std::string& path) {
    struct stat info {};
    if (isBrokenLink(path)) {
        stat(path.c_str(), &info);
        return errno == ENOENT ? "a symbolic link to a file that is not there" : std::strerror(errno);
    }
    // Asked before opening: Windows refuses to open a folder at all, and its
    // "Permission denied" would hide what is wrong; opening a FIFO would wait
    // for a writer.
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) return "not a regular file";
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return std::strerror(errno);
    std::string why;
    char firstByte;
    if (fstat(fd, &info) != 0)
        why = std::strerror(errno);
    else if (!S_ISREG(info.st_mode))
        why = "not a regular file";
    else if (info.st_size == 0)
        why = "the file is empty";
    else if (read(fd, &firstByte, 1) != 1)
        why = std::strerror(errno);
    close(fd);
    return why;
}

std::string placesLooked(const std::vector<std::string>& directories) {
    std::string list;
    for (const std::string& dir : directories) list += (list.empty() ? "" : ", ") + dir;
    return list;
}

}  // namespace

Result dataFileReadable(const std::string& path) {
    const std::string why = whyUnreadable(path);
    return why.empty() ? Result::ok() : Result::failed(path, why);
}

std::string directoryOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::vector<std::string> dataDirectories(const char* argv0) {
    std::vector<std::string> dirs;
    char cwd[PATH_MAX];
    dirs.push_back(getcwd(cwd, sizeof cwd) != nullptr ? cwd : ".");
    for (const std::string& dir : {executableDirectory(argv0), std::string(HAZELGLOW_DATA_INSTALL_DIR)}) {
        bool seen = dir.empty();
        for (const std::string& known : dirs) seen = seen || known == dir;
        if (!seen) dirs.push_back(dir);
    }
    return dirs;
}

Result findDataFiles(const std::vector<std::string>& directories, DataFiles& files) {
    struct Wanted {
        const char* name;
        std::string* path;
    };
    const Wanted wanted[] = {
        {"hazelglow.ogg", &files.soundtrack}, {"wipe.png", &files.wipe}, {"texts.png", &files.texts}};
    for (const Wanted& file : wanted) {
        file.path->clear();
        for (const std::string& dir : directories) {
            const std::string path = dir + "/" + file.name;
            struct stat info {};
            if (stat(path.c_str(), &info) != 0 && !isBrokenLink(path)) continue;
            if (const Result readable = dataFileReadable(path); !readable)
                return Result::failed("cannot read data file " + path,
                                      readable.problem() + " (looked in " + placesLooked(directories) + ")");
            *file.path = path;
            break;
        }
        if (file.path->empty())
            return Result::failed(
                "", std::string("missing data file ") + file.name + " (looked in " + placesLooked(directories) + ")");
    }
    return Result::ok();
}
