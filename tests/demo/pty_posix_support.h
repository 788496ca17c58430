// Test helpers for running the real demo (or any program) in a
// pseudo-terminal the test opens itself, and for checking what it left on
// the terminal through libvterm.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <stb_image_write.h>

#include "display/term_sequences.h"
#include "tests/display/vterm_screen.h"
#include "tests/support/files.h"

namespace ptytest {

namespace fs = std::filesystem;

inline const std::string DemoBinary = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow";

// A directory of data files the demo accepts: one-frame strips and the
// generated soundtrack. Removed again with everything in it.
class DataDir {
public:
    DataDir() : dir_("test") {
        std::vector<uint8_t> pixels(320 * 200 * 4, 0);
        for (size_t i = 0; i < pixels.size(); i += 4 * 7) pixels[i] = 255;
        for (const char* name : {"wipe.png", "texts.png"})
            stbi_write_png((path_ / name).c_str(), 320, 200, 4, pixels.data(), 320 * 4);
        const fs::path built = fs::path(HAZELGLOW_BUILD_DATA_DIR) / "hazelglow.ogg";
        if (fs::exists(built))
            fs::copy_file(built, path_ / "hazelglow.ogg");
        else
            ADD_FAILURE() << "the build has not made " << built;
    }
    const fs::path& path() const { return dir_.path(); }

    // The build's own strips in place of the one-frame ones, whose sparse
    // dots a fitted grid averages away.
    void useBuiltStrips() const {
        for (const char* name : {"wipe.png", "texts.png"})
            fs::copy_file(fs::path(HAZELGLOW_BUILD_DATA_DIR) / name, path_ / name,
                          fs::copy_options::overwrite_existing);
    }

private:
    testfiles::TempDir dir_;
    const fs::path& path_ = dir_.path();
};

struct PtyOptions {
    fs::path workDir{};
    int columns = 80;
    int rows = 50;
    std::string binary = DemoBinary;
    std::vector<std::string> args{};
    const char* colorterm = nullptr;  // COLORTERM's value; unset when null
    bool inputFromNull = false;       // standard input is /dev/null, not the terminal
    std::vector<int> ignored{};       // signals inherited as ignored, as under nohup
    const char* home = nullptr;       // HOME's value (where ALSA reads .asoundrc); as inherited when null
};

// The program on a pseudo-terminal of the given size; stdin, stdout and
// stderr are all the terminal, which is the controlling one of a new session.
class PtyRun {
public:
    explicit PtyRun(const PtyOptions& options) : columns_(options.columns), rows_(options.rows) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const std::string slaveName = ptsname(master_);
        slave_ = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        setSize(slave_, columns_, rows_);
        tcgetattr(slave_, &before_);

        std::vector<char*> argv{const_cast<char*>(options.binary.c_str())};
        for (const std::string& arg : options.args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            const int tty = open(slaveName.c_str(), O_RDWR);
            ioctl(tty, TIOCSCTTY, 0);
            dup2(tty, 0);
            if (options.inputFromNull) dup2(open("/dev/null", O_RDONLY), 0);
            dup2(tty, 1);
            dup2(tty, 2);
            for (int fd = 3; fd < 256; ++fd) close(fd);
            for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
            for (int sig : options.ignored) signal(sig, SIG_IGN);
            // The signals that dump core by default must not litter the test's directory.
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (chdir(options.workDir.c_str()) != 0) _exit(120);
            setenv("TERM", "xterm-256color", 1);
            if (options.colorterm != nullptr)
                setenv("COLORTERM", options.colorterm, 1);
            else
                unsetenv("COLORTERM");
            if (options.home != nullptr) setenv("HOME", options.home, 1);
            execv(options.binary.c_str(), argv.data());
            _exit(121);
        }
    }

    ~PtyRun() {
        if (pid_ > 0 && !exited_) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (slave_ >= 0) close(slave_);
        closeMaster();
    }
    PtyRun(const PtyRun&) = delete;
    PtyRun& operator=(const PtyRun&) = delete;

    // The terminal's window closed: the program's side hangs up.
    void closeMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& output() const { return output_; }
    int columns() const { return columns_; }
    int rows() const { return rows_; }

    void type(std::string_view bytes) { (void)!write(master_, bytes.data(), bytes.size()); }

    // Reads what the program writes until `done` holds or the time is up.
    bool readUntil(const std::function<bool(const std::string&)>& done, int seconds = 60) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done(output_)) {
            if (std::chrono::steady_clock::now() > end) return false;
            drain(20);
        }
        return true;
    }
    bool waitForFrames(size_t frames) {
        return readUntil([&](const std::string&) { return this->frames() >= frames; });
    }

    size_t frames() const { return count(TermSeq::SyncBegin); }
    size_t count(std::string_view what) const {
        size_t n = 0;
        for (size_t at = output_.find(what); at != std::string::npos; at = output_.find(what, at + 1)) ++n;
        return n;
    }

    // Waits for the program to end (reading its output meanwhile); -1 on timeout.
    int waitForStatus(int seconds = 30) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                exited_ = true;
                drain(50);
                return status;
            }
            drain(20);
        }
        return -1;
    }

    // The size from now on; the kernel tells the program with SIGWINCH.
    void resize(int columns, int rows) {
        columns_ = columns;
        rows_ = rows;
        setSize(slave_, columns, rows);
    }

    // The terminal settings now, compared byte for byte with those before.
    bool termiosUnchanged() const {
        termios after{};
        tcgetattr(slave_, &after);
        return std::memcmp(&before_, &after, sizeof after) == 0;
    }

private:
    static void setSize(int fd, int columns, int rows) {
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(rows);
        ioctl(fd, TIOCSWINSZ, &size);
    }

    void drain(int timeoutMs) {
        if (master_ < 0) {
            poll(nullptr, 0, timeoutMs);
            return;
        }
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN)) return;
        char buffer[65536];
        const ssize_t n = read(master_, buffer, sizeof buffer);
        if (n > 0) output_.append(buffer, static_cast<size_t>(n));
    }

    int master_ = -1, slave_ = -1;
    int columns_, rows_;
    pid_t pid_ = -1;
    bool exited_ = false;
    termios before_{};
    std::string output_;
};

// A wait status that is a normal exit with the given code, or a death by the given signal.
inline testing::AssertionResult exitedWith(int status, int code) {
    if (WIFEXITED(status) && WEXITSTATUS(status) == code) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "wait status " << status << ", not an exit with " << code;
}
inline testing::AssertionResult diedOf(int status, int sig) {
    if (WIFSIGNALED(status) && WTERMSIG(status) == sig) return testing::AssertionSuccess();
    return testing::AssertionFailure() << "wait status " << status << ", not a death by signal " << sig;
}

// Feeds a run's output to an emulator whose main screen shows a line of
// the user's, as a terminal would have before the demo started.
inline void replay(EmulatedTerminal& term, const std::string& output) {
    term.feed("user's line\r\n");
    term.feed(output);
}

// A run's output less the demo's one line on how the sound played, printed
// after the terminal was given back (a machine without a sound device has one).
inline std::string withoutSoundLine(std::string out) {
    const size_t restored = out.rfind(TermSeq::ConsoleRestore);
    if (restored == std::string::npos) return out;
    const size_t line = restored + TermSeq::ConsoleRestore.size();
    if (out.compare(line, 21, "hazelglow: no sound: ") == 0 && out.find("\r\n", line) == out.size() - 2)
        out.erase(line);
    return out;
}

// An xterm window operation that sizes the window, in cells or pixels:
// ESC [ 4 or 8 ; digits ; digits t.
inline bool asksForASize(std::string_view output) {
    const auto digits = [&](size_t& at) {
        const size_t from = at;
        while (at < output.size() && output[at] >= '0' && output[at] <= '9') ++at;
        return at > from;
    };
    for (size_t start = output.find("\x1b["); start != std::string_view::npos;
         start = output.find("\x1b[", start + 1)) {
        size_t at = start + 2;
        if (at + 1 >= output.size() || (output[at] != '4' && output[at] != '8') || output[at + 1] != ';') continue;
        at += 2;
        if (!digits(at) || at >= output.size() || output[at] != ';') continue;
        ++at;
        if (digits(at) && at < output.size() && output[at] == 't') return true;
    }
    return false;
}

// What the demo wrote after giving the terminal back, but that line.
inline std::string afterRestore(const std::string& out) {
    return withoutSoundLine(out).substr(out.rfind(TermSeq::ConsoleRestore) + TermSeq::ConsoleRestore.size());
}

// The terminal as it was before the demo, at the run's present size.
// `quiet`: nothing is printed after the terminal is given back (a crash
// report may be, and may scroll the user's line away).
inline void expectTerminalGivenBack(const PtyRun& run, bool quiet = true) {
    EXPECT_TRUE(run.termiosUnchanged());
    EmulatedTerminal term(run.rows(), run.columns());
    replay(term, run.output());
    EXPECT_FALSE(term.altScreen()) << "still on the demo's screen";
    EXPECT_TRUE(term.cursorVisible());
    // The title went on the stack first and came back after the last frame.
    const std::string& out = run.output();
    EXPECT_LT(out.find(TermSeq::TitlePush), out.find(TermSeq::TitleBegin));
    ASSERT_NE(out.rfind(TermSeq::ConsoleRestore), std::string::npos);
    EXPECT_GT(out.rfind(TermSeq::ConsoleRestore), out.rfind(TermSeq::SyncBegin));
    if (quiet) {
        EXPECT_EQ(term.rowText(0), "user's line");
        EXPECT_EQ(afterRestore(out), "");
    }
}

// After a stop: the terminal given back, then taken again and frames
// flowing once more.
inline bool waitForTerminalTakenAgain(PtyRun& run) {
    return run.readUntil([&](const std::string& out) {
        const size_t back = out.find(TermSeq::ConsoleRestore);
        return back != std::string::npos && out.find(TermSeq::ConsoleEnter, back) != std::string::npos &&
               run.count(TermSeq::SyncBegin) > run.count(TermSeq::ConsoleRestore) + 5;
    });
}

// The usual ending: a key, a clean exit, the terminal given back.
inline void endWithKey(PtyRun& run, std::string_view key = "q") {
    run.type(key);
    ASSERT_TRUE(exitedWith(run.waitForStatus(), 0));
    expectTerminalGivenBack(run);
}

// Cells of a centred grid of cells (the 80x50 picture unless told) that
// show something, and cells around it that do (which should be none).
inline int pictureCells(const EmulatedTerminal& term, int* outside = nullptr, int columns = 80, int rows = 50) {
    const int top = (term.rows() - rows) / 2, left = (term.columns() - columns) / 2;
    int inside = 0;
    if (outside != nullptr) *outside = 0;
    for (int row = 0; row < term.rows(); ++row) {
        for (int column = 0; column < term.columns(); ++column) {
            const uint32_t ch = term.character(row, column);
            const bool blank = ch == 0 || ch == ' ';
            if (row >= top && row < top + rows && column >= left && column < left + columns)
                inside += !blank;
            else if (outside != nullptr)
                *outside += !blank;
        }
    }
    return inside;
}
inline void expectPictureCentred(const EmulatedTerminal& term) {
    int outside = 0;
    EXPECT_GT(pictureCells(term, &outside), 0);
    EXPECT_EQ(outside, 0);
}

// Reads frames, showing them on `term`, until the picture has faded in far
// enough to show something.
inline bool waitForPicture(PtyRun& run, EmulatedTerminal& term) {
    size_t fed = 0;
    return run.readUntil([&](const std::string& out) {
        term.feed(std::string_view(out).substr(fed));
        fed = out.size();
        return pictureCells(term) > 0;
    });
}

// What the terminal shows from the last repaint on (the run's output since
// its last clear), on an emulator of the given size.
inline void replayLastRepaint(const PtyRun& run, EmulatedTerminal& term) {
    term.feed(TermSeq::ConsoleEnter);
    const std::string& out = run.output();
    term.feed(std::string_view(out).substr(out.rfind(TermSeq::ColoursReset, out.rfind(TermSeq::ClearScreen))));
}

// Resizes the run's terminal and reads on until the demo has cleared the
// screen once more and shown a few frames in the new size.
inline bool resizeAndWait(PtyRun& run, int columns, int rows) {
    const size_t clears = run.count(TermSeq::ClearScreen);
    run.resize(columns, rows);
    const size_t framesBefore = run.frames();
    return run.readUntil([&](const std::string&) {
        return run.count(TermSeq::ClearScreen) == clears + 1 && run.frames() > framesBefore + 5;
    });
}

}  // namespace ptytest
