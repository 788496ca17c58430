#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/stat.h>

#include "tools/render/output_file_system.h"

#include "display/ending_signals_posix.h"

namespace {

// Names that stand for a descriptor this process already has (standard
// output among them): following them would find the file behind the
// descriptor and replace it, so they are written as they are.
bool namesADescriptor(const std::string& path) {
    return path == "/dev/stdout" || path == "/dev/stderr" || path.rfind("/dev/fd/", 0) == 0 ||
           path.rfind("/proc/self/fd/", 0) == 0;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

OutputTarget inspectOutput(const std::string& path) {
    OutputTarget target;
    target.path = path;
    // A symbolic link is followed: what it points to is what gets written.
    for (int hops = 0; hops < 40; ++hops) {
        if (namesADescriptor(target.path)) {
            target.kind = OutputTarget::Kind::Stream;
            return target;
        }
        struct stat status {};
        if (lstat(target.path.c_str(), &status) != 0) {
            if (errno == ENOENT) {
                target.kind = OutputTarget::Kind::Missing;
            } else {
                target.kind = OutputTarget::Kind::Unusable;
                target.problem = std::strerror(errno);
            }
            return target;
        }
        if (S_ISLNK(status.st_mode)) {
            char link[4096];
            const ssize_t length = readlink(target.path.c_str(), link, sizeof link - 1);
            if (length < 0) {
                target.kind = OutputTarget::Kind::Unusable;
                target.problem = std::strerror(errno);
                return target;
            }
            const std::string to(link, static_cast<size_t>(length));
            target.path = to[0] == '/' ? to : folderOf(target.path) + to;
            continue;
        }
        if (S_ISDIR(status.st_mode))
            target.kind = OutputTarget::Kind::Directory;
        else if (!S_ISREG(status.st_mode))
            target.kind = OutputTarget::Kind::Stream;
        else
            target.kind = status.st_nlink > 1 ? OutputTarget::Kind::Linked : OutputTarget::Kind::Regular;
        return target;
    }
    target.kind = OutputTarget::Kind::Unusable;
    target.problem = std::strerror(ELOOP);
    return target;
}

void keepAttributes(const std::string& replaced, const std::string& temporary) {
    struct stat status {};
    if (stat(replaced.c_str(), &status) != 0) return;
    // The owner first: changing it can clear the set-id bits the mode restores.
    // Only root may give a file away; anyone else keeps their own.
    if (chown(temporary.c_str(), status.st_uid, status.st_gid) != 0 &&
        chown(temporary.c_str(), static_cast<uid_t>(-1), status.st_gid) != 0) {
        // Not allowed: the new file stays the writer's.
    }
    chmod(temporary.c_str(), status.st_mode & 07777);
}

unsigned long outputProcessId() {
    return static_cast<unsigned long>(getpid());
}

namespace {

// Fixed slots the signal handler can read without allocating: the outputs
// of one run (at most one of each kind at a time) fit easily.
constexpr int Slots = 16;
char guardedPaths[Slots][4096];
std::atomic<bool> guardedInUse[Slots];
std::atomic<bool> handlersInstalled{false};

void removeTemporariesAndDie(int sig) {
    for (int slot = 0; slot < Slots; ++slot)
        if (guardedInUse[slot].load()) unlink(guardedPaths[slot]);
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    sigaction(sig, &fallback, nullptr);
    raise(sig);
}

void installHandlers() {
    if (handlersInstalled.exchange(true)) return;
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndDie;
    sigfillset(&action.sa_mask);  // one handler at a time
    endingsignals::forEach([&](int sig) {
        struct sigaction previous {};
        // A signal the caller ignores (nohup's SIGHUP) stays ignored.
        if (sigaction(sig, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) return;
        sigaction(sig, &action, nullptr);
    });
}

}  // namespace

int guardTemporary(const std::string& path) {
    if (path.size() >= sizeof guardedPaths[0]) return -1;
    installHandlers();
    for (int slot = 0; slot < Slots; ++slot) {
        if (guardedInUse[slot].load()) continue;
        std::memcpy(guardedPaths[slot], path.c_str(), path.size() + 1);
        guardedInUse[slot].store(true);
        return slot;
    }
    return -1;
}

void releaseTemporary(int slot) {
    if (slot >= 0 && slot < Slots) guardedInUse[slot].store(false);
}
