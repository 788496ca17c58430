#include <process.h>

#include <filesystem>
#include <system_error>

#include "tools/render/output_file_system.h"

OutputTarget inspectOutput(const std::string& path) {
    namespace fs = std::filesystem;
    OutputTarget target;
    target.path = path;
    if (path == "CON" || path == "NUL" || path == "con" || path == "nul") {
        target.kind = OutputTarget::Kind::Stream;
        return target;
    }
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (status.type() == fs::file_type::not_found) return target;
    if (error) {
        target.kind = OutputTarget::Kind::Unusable;
        target.problem = error.message();
        return target;
    }
    if (fs::is_symlink(fs::symlink_status(path, error))) target.path = fs::canonical(path, error).string();
    if (fs::is_directory(status))
        target.kind = OutputTarget::Kind::Directory;
    else if (!fs::is_regular_file(status))
        target.kind = OutputTarget::Kind::Stream;
    else
        target.kind = fs::hard_link_count(path, error) > 1 ? OutputTarget::Kind::Linked : OutputTarget::Kind::Regular;
    return target;
}

void keepAttributes(const std::string& replaced, const std::string& temporary) {
    // A read-only attribute is all Windows keeps in the permissions.
    std::error_code error;
    const auto permissions = std::filesystem::status(replaced, error).permissions();
    if (!error) std::filesystem::permissions(temporary, permissions, error);
}

unsigned long outputProcessId() {
    return static_cast<unsigned long>(_getpid());
}

// A console's Ctrl+C ends the process without running destructors; the
// temporary files are then left, as before.
int guardTemporary(const std::string&) {
    return -1;
}

void releaseTemporary(int) {}
