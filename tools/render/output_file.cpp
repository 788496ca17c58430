#include "tools/render/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/render/output_file_system.h"

namespace {

// Beside the file itself, so the rename stays within one file system;
// process and sequence number keep parallel runs apart.
std::string temporaryName(const std::string& path) {
    static std::atomic<unsigned> sequence{0};
    return path + ".partial-" + std::to_string(outputProcessId()) + "-" + std::to_string(sequence++);
}

bool isStandardOutput(const std::string& path) {
    return path == "-";
}

}  // namespace

OutputFile::OutputFile(std::string path, Opening opening) : path_(std::move(path)) {
    if (path_.empty()) {
        keepProblem("an empty file name");
        return;
    }
    if (isStandardOutput(path_)) {
        if (opening == Opening::Named) {
            keepProblem("cannot be written to standard output");
            return;
        }
        file_ = stdout;
        ownsFile_ = false;
        return;
    }
    const OutputTarget target = inspectOutput(path_);
    target_ = target.path;
    switch (target.kind) {
    case OutputTarget::Kind::Directory:
        keepProblem("a directory");
        return;
    case OutputTarget::Kind::Unusable:
        keepProblem(target.problem);
        return;
    case OutputTarget::Kind::Stream:
        if (opening == Opening::Named) {
            keepProblem("not a regular file (this output needs one it can seek in)");
            return;
        }
        break;
    case OutputTarget::Kind::Linked:
        linked_ = true;
        replacing_ = true;
        temporary_ = temporaryName(target_);
        break;
    case OutputTarget::Kind::Regular:
        replacing_ = true;
        temporary_ = temporaryName(target_);
        break;
    case OutputTarget::Kind::Missing:
        temporary_ = temporaryName(target_);
        break;
    }
    if (!temporary_.empty()) guard_ = guardTemporary(temporary_);
    if (opening == Opening::Named) return;
    errno = 0;
    file_ = std::fopen(temporary_.empty() ? target_.c_str() : temporary_.c_str(), "wb");
    if (file_ == nullptr) (void)fail(errno);
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::keepProblem(const std::string& reason) {
    if (ok_) problem_ = reason;
    ok_ = false;
}

Result OutputFile::fail(int error) {
    keepProblem(error != 0 ? std::strerror(error) : "write failed");
    discard();
    return status();
}

Result OutputFile::write(const void* bytes, size_t count) {
    if (!ok_) return status();
    if (file_ == nullptr) {
        keepProblem("not open");
        return status();
    }
    errno = 0;
    if (std::fwrite(bytes, 1, count, file_) == count) return Result::ok();
    return fail(errno);
}

Result OutputFile::commit() {
    if (!ok_) return status();
    if (file_ != nullptr) {
        errno = 0;
        if (std::fflush(file_) != 0 || std::ferror(file_)) return fail(errno);
        FILE* file = file_;
        file_ = nullptr;
        errno = 0;
        if (ownsFile_ && std::fclose(file) != 0) return fail(errno);
    }
    if (temporary_.empty()) return Result::ok();  // written straight through
    Result placed = place();
    if (!placed) std::remove(temporary_.c_str());
    releaseTemporary(guard_);
    guard_ = -1;
    temporary_.clear();
    return placed;
}

// The complete temporary file takes the asked file's place.
Result OutputFile::place() {
    if (linked_) {
        // The other names must see the new content: the same file is
        // rewritten from the complete one (only this copy can fail half way).
        FILE* from = std::fopen(temporary_.c_str(), "rb");
        errno = 0;
        FILE* to = from != nullptr ? std::fopen(target_.c_str(), "r+b") : nullptr;
        bool copied = from != nullptr && to != nullptr;
        char buffer[65536];
        while (copied) {
            const size_t n = std::fread(buffer, 1, sizeof buffer, from);
            if (n == 0) break;
            copied = std::fwrite(buffer, 1, n, to) == n;
        }
        copied = copied && !std::ferror(from) && std::fflush(to) == 0;
        const int error = errno;
        std::error_code ignored;
        if (copied) std::filesystem::resize_file(target_, std::filesystem::file_size(temporary_, ignored), ignored);
        if (from != nullptr) std::fclose(from);
        if (to != nullptr && std::fclose(to) != 0) copied = false;
        std::remove(temporary_.c_str());
        if (!copied) return fail(error);
        return Result::ok();
    }
    if (replacing_) keepAttributes(target_, temporary_);
    // std::filesystem::rename replaces an existing file on Windows too.
    std::error_code error;
    std::filesystem::rename(temporary_, target_, error);
    if (error) {
        keepProblem(error.message());
        return status();
    }
    return Result::ok();
}

void OutputFile::discard() {
    if (file_ != nullptr && ownsFile_) std::fclose(file_);
    file_ = nullptr;
    if (!temporary_.empty()) std::remove(temporary_.c_str());
    temporary_.clear();
    releaseTemporary(guard_);
    guard_ = -1;
}

Result writeWholeFile(const std::string& path, const void* bytes, size_t count) {
    OutputFile file(path);
    if (Result written = file.write(bytes, count); !written) return written;
    return file.commit();
}

Result flushStream(FILE* stream, const char* name) {
    errno = 0;
    if (std::fflush(stream) == 0 && !std::ferror(stream)) return Result::ok();
    return Result::failed(name, errno != 0 ? std::strerror(errno) : "write failed");
}

bool sameOutput(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    if (isStandardOutput(a) || isStandardOutput(b)) return a == b;
    const OutputTarget first = inspectOutput(a);
    const OutputTarget second = inspectOutput(b);
    std::error_code error;
    // Both there: the same file, whatever the route (hard links included).
    if (fs::equivalent(first.path, second.path, error) && !error) return true;
    // Not made yet: the same name once the folders' routes are resolved.
    return fs::weakly_canonical(fs::absolute(first.path, error), error) ==
           fs::weakly_canonical(fs::absolute(second.path, error), error);
}
