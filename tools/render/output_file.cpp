#include "tools/render/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

// Beside the asked name, so the rename stays within one file system;
// process and sequence number keep parallel runs apart.
std::string temporaryName(const std::string& path) {
    static std::atomic<unsigned> sequence{0};
    return path + ".partial-" + std::to_string(getpid()) + "-" + std::to_string(sequence++);
}

namespace {

void report(const std::string& path, const std::string& reason) {
    std::fprintf(stderr, "hazelglow-render: %s: %s\n", path.c_str(), reason.c_str());
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)), temporary_(temporaryName(path_)) {
    errno = 0;
    file_ = std::fopen(temporary_.c_str(), "wb");
    if (file_ == nullptr) report(path_, errno != 0 ? std::strerror(errno) : "cannot create the file");
}

OutputFile::~OutputFile() {
    discard();
}

bool OutputFile::write(const void* bytes, size_t count) {
    if (file_ == nullptr) return false;
    errno = 0;
    if (std::fwrite(bytes, 1, count, file_) == count) return true;
    return fail(errno);
}

bool OutputFile::commit() {
    if (file_ == nullptr) return false;
    errno = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) return fail(errno);
    FILE* file = file_;
    file_ = nullptr;
    errno = 0;
    if (std::fclose(file) != 0) {
        report(path_, errno != 0 ? std::strerror(errno) : "write failed");
        std::remove(temporary_.c_str());
        return false;
    }
    // std::filesystem::rename replaces an existing file on Windows too.
    std::error_code error;
    std::filesystem::rename(temporary_, path_, error);
    if (error) {
        report(path_, error.message());
        std::remove(temporary_.c_str());
        return false;
    }
    return true;
}

bool OutputFile::fail(int error) {
    report(path_, error != 0 ? std::strerror(error) : "write failed");
    discard();
    return false;
}

void OutputFile::discard() {
    if (file_ == nullptr) return;
    std::fclose(file_);
    file_ = nullptr;
    std::remove(temporary_.c_str());
}

bool writeWholeFile(const std::string& path, const void* bytes, size_t count) {
    OutputFile file(path);
    return file.write(bytes, count) && file.commit();
}

bool flushStream(FILE* stream, const char* name) {
    errno = 0;
    if (std::fflush(stream) == 0 && !std::ferror(stream)) return true;
    report(name, errno != 0 ? std::strerror(errno) : "write failed");
    return false;
}
