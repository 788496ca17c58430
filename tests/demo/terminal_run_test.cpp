// The real demo in a pseudo-terminal: frames shown, the ways it ends, and
// the terminal exactly as it was afterwards.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <poll.h>
#include <regex>
#include <string>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

#include <stb_image_write.h>

#include "display/term_sequences.h"
#include "tests/display/vterm_screen.h"

namespace fs = std::filesystem;

namespace {

const std::string DemoBinary = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow";

// A directory of data files the demo accepts: one-frame strips and the
// generated soundtrack.
class DataDir {
public:
    DataDir()
        : path_(fs::temp_directory_path() /
                ("hazelglow-test-" + std::to_string(getpid()) + "-" + std::to_string(counter_++))) {
        fs::create_directories(path_);
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
    ~DataDir() { fs::remove_all(path_); }
    const fs::path& path() const { return path_; }

private:
    static inline int counter_ = 0;
    fs::path path_;
};

// The demo on a pseudo-terminal of the given size; stdin, stdout and stderr
// are all the terminal, which is the controlling one of a new session.
// `ignored`: signals the demo inherits as ignored, as under nohup.
class PtyRun {
public:
    PtyRun(const fs::path& workDir, int columns, int rows, const std::string& binary = DemoBinary,
           const char* colorterm = nullptr, const std::vector<std::string>& args = {}, bool inputFromNull = false,
           const std::vector<int>& ignored = {}) {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
        const std::string slaveName = ptsname(master_);
        slave_ = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(rows);
        ioctl(slave_, TIOCSWINSZ, &size);
        tcgetattr(slave_, &before_);

        std::vector<char*> argv{const_cast<char*>(binary.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_ = fork();
        if (pid_ == 0) {
            setsid();
            const int tty = open(slaveName.c_str(), O_RDWR);
            ioctl(tty, TIOCSCTTY, 0);
            dup2(tty, 0);
            if (inputFromNull) dup2(open("/dev/null", O_RDONLY), 0);
            dup2(tty, 1);
            dup2(tty, 2);
            for (int fd = 3; fd < 256; ++fd) close(fd);
            for (int sig = 1; sig < NSIG; ++sig) signal(sig, SIG_DFL);
            for (int sig : ignored) signal(sig, SIG_IGN);
            // The signals that dump core by default must not litter the test's directory.
            const rlimit noCore{0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            if (chdir(workDir.c_str()) != 0) _exit(120);
            setenv("TERM", "xterm-256color", 1);
            if (colorterm != nullptr)
                setenv("COLORTERM", colorterm, 1);
            else
                unsetenv("COLORTERM");
            execv(binary.c_str(), argv.data());
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

    // The terminal's window closed: the demo's side hangs up.
    void closeMaster() {
        if (master_ >= 0) close(master_);
        master_ = -1;
    }

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    const std::string& output() const { return output_; }

    void type(std::string_view bytes) { (void)!write(master_, bytes.data(), bytes.size()); }

    // Reads what the demo writes until `done` holds or the time is up.
    bool readUntil(const std::function<bool(const std::string&)>& done, int seconds = 60) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (!done(output_)) {
            if (std::chrono::steady_clock::now() > end) return false;
            drain(20);
        }
        return true;
    }

    size_t frames() const { return count(TermSeq::SyncBegin); }
    size_t count(std::string_view what) const {
        size_t n = 0;
        for (size_t at = output_.find(what); at != std::string::npos; at = output_.find(what, at + 1)) ++n;
        return n;
    }

    // Waits for the demo to end (reading its output meanwhile); -1 on timeout.
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

    void resize(int columns, int rows) {
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = static_cast<unsigned short>(rows);
        ioctl(slave_, TIOCSWINSZ, &size);
    }

    // The terminal settings now, compared byte for byte with those before.
    bool termiosUnchanged() const {
        termios after{};
        tcgetattr(slave_, &after);
        return std::memcmp(&before_, &after, sizeof after) == 0;
    }

private:
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
    pid_t pid_ = -1;
    bool exited_ = false;
    termios before_{};
    std::string output_;
};

// Feeds a run's output to an emulator whose main screen shows a line of
// the user's, as a terminal would have before the demo started.
void replay(EmulatedTerminal& term, const std::string& output) {
    term.feed("user's line\r\n");
    term.feed(output);
}

// `quiet`: nothing is printed after the terminal is given back (a crash
// report may be, and may scroll the user's line away).
void expectTerminalGivenBack(const PtyRun& run, int rows, int columns, bool quiet = true) {
    EXPECT_TRUE(run.termiosUnchanged());
    EmulatedTerminal term(rows, columns);
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
        EXPECT_EQ(out.rfind(TermSeq::ConsoleRestore) + TermSeq::ConsoleRestore.size(), out.size());
    }
}

// Cells of a centred grid of cells (the 80x50 picture unless told) that
// show something, and cells around it that do (which should be none).
int pictureCells(const EmulatedTerminal& term, int* outside = nullptr, int columns = 80, int rows = 50) {
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

// An xterm window operation that sizes the window, in cells or pixels.
bool asksForASize(const std::string& output) {
    return std::regex_search(output, std::regex("\x1b\\[[48];[0-9]+;[0-9]+t"));
}

void expectPictureCentred(const EmulatedTerminal& term, int columns = 80, int rows = 50) {
    int outside = 0;
    EXPECT_GT(pictureCells(term, &outside, columns, rows), 0);
    EXPECT_EQ(outside, 0);
}

// Reads frames, showing them on `term`, until the picture has faded in far
// enough to show something.
bool waitForPicture(PtyRun& run, EmulatedTerminal& term) {
    size_t fed = 0;
    return run.readUntil([&](const std::string& out) {
        term.feed(std::string_view(out).substr(fed));
        fed = out.size();
        return pictureCells(term) > 0;
    });
}

TEST(TerminalRun, ShowsCentredFramesAndAKeyEndsIt) {
    DataDir data;
    PtyRun run(data.path(), 100, 55, DemoBinary, nullptr, {"--exact"});
    ASSERT_TRUE(run.started());
    EmulatedTerminal term(55, 100);
    term.feed("user's line\r\n");
    ASSERT_TRUE(waitForPicture(run, term)) << run.frames() << " frames";
    EXPECT_TRUE(term.altScreen());
    EXPECT_FALSE(term.cursorVisible());
    expectPictureCentred(term);
    // The two titles in their order, the second with its code page 437 ö.
    const std::string& out = run.output();
    const size_t consoleTitle = out.find("\x1b]0;Pelkor7 console window - press alt-enter for fullscreen\x07");
    const size_t demoTitle = out.find("\x1b]0;rUUX - V\xC3\xB6rnik\xC3\xB6 - Hazel Glow - ZKPW07\x07");
    EXPECT_NE(consoleTitle, std::string::npos);
    EXPECT_NE(demoTitle, std::string::npos);
    EXPECT_LT(consoleTitle, demoTitle);

    run.type("\x1b[A");  // one key press: all its bytes together
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectTerminalGivenBack(run, 55, 100);
    // Not even --exact asks the window for 80x50 cells (a shape other than
    // the picture's, and a shrink of a larger window).
    EXPECT_FALSE(asksForASize(out));
}

TEST(TerminalRun, AKeyPressedBeforeTheFirstFrameEndsTheDemoAfterIt) {
    DataDir data;
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    run.type("x");
    const int status = run.waitForStatus(60);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.frames(), 1u);
    expectTerminalGivenBack(run, 50, 80);
}

TEST(TerminalRun, CtrlSIsAKeyLikeAnyOtherNotAFreeze) {
    DataDir data;
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    run.type("\x13");
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectTerminalGivenBack(run, 50, 80);
}

std::string signalName(int sig) {
#ifdef SIGRTMIN
    if (sig >= SIGRTMIN) return "RTMIN_" + std::to_string(sig - SIGRTMIN);
#endif
    return sigabbrev_np(sig);
}

// Every signal whose default action ends a process.
class TerminalSignal : public testing::TestWithParam<int> {};

TEST_P(TerminalSignal, RestoresTheTerminalAndDiesOfTheSignal) {
    const int sig = GetParam();
    DataDir data;
    PtyRun run(data.path(), 90, 40, DemoBinary, "truecolor");
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 5; }));
    if (sig == SIGINT)
        run.type("\x03");  // Ctrl+C, through the terminal's own signal keys
    else
        kill(run.pid(), sig);
    const int status = run.waitForStatus();
    // Died of the signal, as the parent (a shell's loop) must see it; a
    // shell reports that as 128 + n.
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    expectTerminalGivenBack(run, 40, 90);
    // 24-bit colours because COLORTERM said so.
    EXPECT_NE(run.output().find("\x1b[38;2;"), std::string::npos);
}

std::vector<int> endingSignals() {
    std::vector<int> signals = {SIGINT,  SIGTERM,   SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2,
                                SIGALRM, SIGVTALRM, SIGPROF, SIGPIPE, SIGIO,   SIGPWR};
#ifdef SIGRTMIN
    signals.push_back(SIGRTMIN);
    signals.push_back(SIGRTMAX);
#endif
    return signals;
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminalSignal, testing::ValuesIn(endingSignals()),
                         [](const auto& test) { return signalName(test.param); });

// bash goes on with a loop after Ctrl+C unless the program it waited for
// died of SIGINT itself.
TEST(TerminalRun, CtrlCStopsTheScriptThatRanTheDemo) {
    DataDir data;
    const fs::path script = data.path() / "twice.sh";
    std::ofstream(script) << "#!/bin/bash\nfor i in 1 2; do '" << DemoBinary << "'; done\necho went on\n";
    fs::permissions(script, fs::perms::owner_exec, fs::perm_options::add);
    PtyRun run(data.path(), 80, 50, script.string());
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    run.type("\x03");
    const int status = run.waitForStatus();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
    EXPECT_EQ(run.count(TermSeq::ConsoleEnter), 1u) << "the loop started the demo again";
    EXPECT_EQ(run.output().find("went on"), std::string::npos);
}

// Faults, sent from outside here, the way a real one is taken.
class TerminalFault : public testing::TestWithParam<int> {};

TEST_P(TerminalFault, RestoresTheTerminalAndDiesOfTheSignal) {
    const int sig = GetParam();
    DataDir data;
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    kill(run.pid(), sig);
    const int status = run.waitForStatus();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer's own handler reports SEGV, BUS and FPE, then exits or aborts.
    if (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE) {
        EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == sig || WTERMSIG(status) == SIGABRT
                                        : WEXITSTATUS(status) != 0)
            << status;
        expectTerminalGivenBack(run, 50, 80, false);
        return;
    }
#endif
    ASSERT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WTERMSIG(status), sig);
    expectTerminalGivenBack(run, 50, 80);
}

INSTANTIATE_TEST_SUITE_P(Signals, TerminalFault,
                         testing::Values(SIGSEGV, SIGBUS, SIGFPE, SIGABRT, SIGILL, SIGTRAP, SIGSYS, SIGXCPU, SIGXFSZ),
                         [](const auto& test) { return signalName(test.param); });

// `sh -c "timeout N hazelglow"`: timeout puts the demo in a process group
// of its own, a background job, so the demo stops at its first change to
// the terminal; at the deadline timeout sends SIGTERM and SIGCONT. The demo
// must then die of the signal, not stop again giving the terminal back.
TEST(TerminalRun, ABackgroundJobTerminatedWhileStoppedEnds) {
    DataDir data;
    const std::string command = "timeout 2 '" + std::string(DemoBinary) + "'; echo \"status $?\"";
    PtyRun run(data.path(), 80, 50, "/bin/sh", nullptr, {"-c", command});
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus(15);
    ASSERT_NE(status, -1) << "the demo was still there 13 s after timeout's SIGTERM";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_NE(run.output().find("status 124"), std::string::npos) << run.output();
    EXPECT_TRUE(run.termiosUnchanged());
}

// Ctrl+Z, then `bg`: the continued demo is a background job and stops
// again when it would take the terminal back; SIGTERM and SIGCONT must
// still end it.
TEST(TerminalRun, ABackgroundedJobCanStillBeTerminated) {
    DataDir data;
    const std::string command = "set -m; '" + std::string(DemoBinary) +
                                "'; echo \"stopped $?\"; bg; sleep 1; kill %1; kill -CONT %1; "
                                // bash may still count the job as stopped
                                "while wait %1; s=$?; [ $s -eq 150 ]; do sleep 0.1; done; echo \"status $s\"";
    PtyRun run(data.path(), 80, 50, "/bin/bash", nullptr, {"--norc", "-c", command});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    run.type("\x1a");  // Ctrl+Z
    const int status = run.waitForStatus(15);
    ASSERT_NE(status, -1) << "the demo was still there after SIGTERM and SIGCONT";
    EXPECT_NE(run.output().find("stopped 148"), std::string::npos);
    EXPECT_NE(run.output().find("status 143"), std::string::npos);
    EXPECT_TRUE(run.termiosUnchanged());
}

TEST(TerminalRun, ASignalTheCallerIgnoredStaysIgnored) {
    DataDir data;
    PtyRun run(data.path(), 80, 50, DemoBinary, nullptr, {}, false, {SIGUSR1, SIGHUP});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    kill(run.pid(), SIGUSR1);
    kill(run.pid(), SIGHUP);
    const size_t framesThen = run.frames();
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= framesThen + 5; }));
    run.type("q");
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectTerminalGivenBack(run, 50, 80);
}

// nohup, then the terminal window closed: writes fail for good, and the
// demo must stop rather than render for nobody.
TEST(TerminalRun, AClosedTerminalStopsTheDemoWithAFailure) {
    DataDir data;
    PtyRun run(data.path(), 80, 50, DemoBinary, nullptr, {}, false, {SIGHUP});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    run.closeMaster();
    const int status = run.waitForStatus(10);
    ASSERT_NE(status, -1) << "still running after its terminal closed";
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

TEST(TerminalRun, AResizeRepaintsCentredInTheNewSize) {
    DataDir data;
    PtyRun run(data.path(), 80, 50, DemoBinary, nullptr, {"--exact"});
    ASSERT_TRUE(run.started());
    EmulatedTerminal before(50, 80);
    ASSERT_TRUE(waitForPicture(run, before));
    EXPECT_EQ(run.count(TermSeq::ClearScreen), 1u) << "the screen is cleared once, not per frame";
    run.resize(120, 60);  // the kernel tells the demo with SIGWINCH
    const size_t framesBefore = run.frames();
    ASSERT_TRUE(run.readUntil(
        [&](const std::string&) { return run.count(TermSeq::ClearScreen) == 2 && run.frames() > framesBefore + 5; }));
    // What the terminal shows from the repaint on, in the new size.
    EmulatedTerminal term(60, 120);
    term.feed(TermSeq::ConsoleEnter);
    const std::string& out = run.output();
    term.feed(std::string_view(out).substr(out.rfind(TermSeq::ColoursReset, out.rfind(TermSeq::ClearScreen))));
    expectPictureCentred(term);
    run.type("q");
    EXPECT_EQ(run.waitForStatus(), 0);
}

// What the terminal shows from the last repaint on (the run's output since
// its last clear), on an emulator of the given size.
void replayLastRepaint(const PtyRun& run, EmulatedTerminal& term) {
    term.feed(TermSeq::ConsoleEnter);
    const std::string& out = run.output();
    term.feed(std::string_view(out).substr(out.rfind(TermSeq::ColoursReset, out.rfind(TermSeq::ClearScreen))));
}

// Resizes the run's terminal and reads on until the demo has cleared the
// screen once more and shown a few frames in the new size.
bool resizeAndWait(PtyRun& run, int columns, int rows) {
    const size_t clears = run.count(TermSeq::ClearScreen);
    run.resize(columns, rows);
    const size_t framesBefore = run.frames();
    return run.readUntil([&](const std::string&) {
        return run.count(TermSeq::ClearScreen) == clears + 1 && run.frames() > framesBefore + 5;
    });
}

// The build's own strips in place of the one-frame ones, whose sparse dots
// a fitted grid averages away.
void useBuiltStrips(const DataDir& data) {
    for (const char* name : {"wipe.png", "texts.png"})
        fs::copy_file(fs::path(HAZELGLOW_BUILD_DATA_DIR) / name, data.path() / name,
                      fs::copy_options::overwrite_existing);
}

// Cells of unknown shape (the pseudo-terminal reports no pixel size and
// answers no question), taken as 1:2: the 80x50 cells would be too narrow
// at any size, so every size gets the picture fitted.
TEST(TerminalRun, EverySizeGetsTheWholePictureFittedInItsShape) {
    DataDir data;
    useBuiltStrips(data);
    PtyRun run(data.path(), 100, 55);
    ASSERT_TRUE(run.started());
    // Far enough into the fade-in that a fitted picture shows (at its
    // start the averaging makes everything level 0).
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 75; }));
    EmulatedTerminal large(55, 100);
    replayLastRepaint(run, large);
    expectPictureCentred(large, 100, 47);

    // 80x24 with cells of unknown shape (taken as 1:2): 51x24, centred.
    ASSERT_TRUE(resizeAndWait(run, 80, 24));
    EmulatedTerminal small(24, 80);
    replayLastRepaint(run, small);
    int outside = 0;
    EXPECT_GT(pictureCells(small, &outside, 51, 24), 0);
    EXPECT_EQ(outside, 0);
    // Ink from the top rows to the bottom ones, and only inside the 51
    // columns (the 80x50 cells' middle would fill all 80).
    const auto inkIn = [&](int first, int last) {
        bool ink = false;
        for (int row = first; row <= last; ++row) ink = ink || !small.rowText(row).empty();
        return ink;
    };
    EXPECT_TRUE(inkIn(0, 3));
    EXPECT_TRUE(inkIn(20, 23));
    // Back to 100x55: as wide as the terminal again.
    ASSERT_TRUE(resizeAndWait(run, 100, 55));
    EmulatedTerminal again(55, 100);
    replayLastRepaint(run, again);
    expectPictureCentred(again, 100, 47);

    run.type("q");
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectTerminalGivenBack(run, 55, 100);
    // A window of unknown pixel size is neither sized (in cells or pixels)
    // nor moved.
    EXPECT_FALSE(asksForASize(run.output()));
    EXPECT_EQ(run.output().find("\x1b[3;0;0t"), std::string::npos);
}

TEST(TerminalRun, FillUsesTheWholeHeightOfALargeTerminal) {
    DataDir data;
    useBuiltStrips(data);
    PtyRun run(data.path(), 200, 60, DemoBinary, nullptr, {"--fill"});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 40; }));
    EmulatedTerminal term(60, 200);
    replayLastRepaint(run, term);
    int outside = 0;
    EXPECT_GT(pictureCells(term, &outside, 128, 60), 0);
    EXPECT_EQ(outside, 0);
    run.type("q");
    EXPECT_EQ(run.waitForStatus(), 0);
    expectTerminalGivenBack(run, 60, 200);
}

TEST(TerminalRun, KeysComeFromTheTerminalWhenStandardInputIsNotOne) {
    DataDir data;
    PtyRun run(data.path(), 80, 50, DemoBinary, nullptr, {}, true);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    const std::string key = "\xC3\xA9";  // é: never part of a frame, so any echo would show
    run.type(key);
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(run.output().find(key), std::string::npos) << "the key was echoed";
    expectTerminalGivenBack(run, 50, 80);
}

// The demo's options, each run on a terminal it must leave alone.
struct OptionRun {
    std::vector<std::string> args;
    int status;
    std::string outputStart;
};

class DemoOption : public testing::TestWithParam<OptionRun> {};

std::string optionRunName(const testing::TestParamInfo<OptionRun>& run) {
    static const char* const names[] = {"help", "version", "unknown", "both"};
    return names[run.index];
}

TEST_P(DemoOption, AnswersWithoutTouchingTheTerminal) {
    const OptionRun& option = GetParam();
    DataDir data;
    PtyRun run(data.path(), 80, 24, DemoBinary, nullptr, option.args);
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), option.status);
    EXPECT_EQ(run.output().rfind(option.outputStart, 0), 0u) << run.output();
    EXPECT_EQ(run.output().find('\x1b'), std::string::npos) << "a control sequence was sent";
    EXPECT_TRUE(run.termiosUnchanged());
}

INSTANTIATE_TEST_SUITE_P(
    Options, DemoOption,
    testing::Values(OptionRun{{"--help"}, 0, "usage: hazelglow [--fill | --exact]\r\n"},
                    OptionRun{{"--version"}, 0, "hazelglow " HAZELGLOW_VERSION "\r\n"},
                    OptionRun{{"--fill", "--colour"}, 2, "hazelglow: unknown option '--colour'\r\nusage: hazelglow"},
                    OptionRun{{"--fill", "--exact"}, 2, "hazelglow: --fill and --exact exclude each other\r\n"}),
    optionRunName);

TEST(TerminalRun, CtrlZGivesTheTerminalBackAndTheDemoTakesItAgain) {
    DataDir data;
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([&](const std::string&) { return run.frames() >= 3; }));
    // The demo leads a session of its own here, so the kernel does not
    // actually stop it (an orphaned group ignores stop signals); the
    // terminal must still be given back, then taken again.
    kill(run.pid(), SIGTSTP);
    ASSERT_TRUE(run.readUntil([&](const std::string& out) {
        const size_t back = out.find(TermSeq::ConsoleRestore);
        return back != std::string::npos && out.find(TermSeq::ConsoleEnter, back) != std::string::npos &&
               run.count(TermSeq::SyncBegin) > run.count(TermSeq::ConsoleRestore) + 5;
    }));
    const std::string& out = run.output();
    const size_t back = out.find(TermSeq::ConsoleRestore);
    // Taken again with its title, and repainted from a cleared screen.
    const size_t again = out.find(TermSeq::ConsoleEnter, back);
    EXPECT_NE(out.find("\x1b]0;rUUX - V", again), std::string::npos);
    EXPECT_NE(out.find(TermSeq::ClearScreen, again), std::string::npos);
    run.type("q");
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    expectTerminalGivenBack(run, 50, 80);
}

TEST(TerminalRun, MissingDataFileStopsBeforeTheTerminalIsTouched) {
    if (fs::exists(fs::path(HAZELGLOW_DATA_INSTALL_DIR) / "texts.png"))
        GTEST_SKIP() << "an installed demo's data is in " << HAZELGLOW_DATA_INSTALL_DIR;
    DataDir data;
    fs::remove(data.path() / "texts.png");
    // A copy of the demo with no data beside it.
    const fs::path bin = data.path() / "bin";
    fs::create_directories(bin);
    fs::copy_file(DemoBinary, bin / "hazelglow");
    PtyRun run(data.path(), 80, 50, (bin / "hazelglow").string());
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string expected = "hazelglow: missing data file texts.png (looked in " +
                                 fs::canonical(data.path()).string() + ", " + fs::canonical(bin).string() + ", " +
                                 HAZELGLOW_DATA_INSTALL_DIR + ")\r\n";
    EXPECT_EQ(run.output(), expected);
    EXPECT_TRUE(run.termiosUnchanged());
}

// A soundtrack of `seconds` of 16-bit stereo 44 100 Hz silence, as RIFF
// WAVE (the loader takes it under the soundtrack's name).
void writeSilentSoundtrack(const fs::path& path, int seconds) {
    const uint32_t bytes = 44100u * 4u * static_cast<uint32_t>(seconds);
    static const char layout[] =
        "RIFF....WAVEfmt ....\x01\x00\x02\x00........\x04\x00\x10\x00"
        "data....";
    std::string header(layout, sizeof layout - 1);  // 44 bytes, zeros included
    const auto put32 = [&](size_t at, uint32_t v) {
        for (int k = 0; k < 4; ++k) header[at + static_cast<size_t>(k)] = static_cast<char>(v >> (8 * k));
    };
    put32(4, 36 + bytes);
    put32(16, 16);
    put32(24, 44100);
    put32(28, 44100 * 4);
    put32(40, bytes);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << header << std::string(bytes, '\0');
}

TEST(TerminalRun, TheSoundtrackEndingEndsTheDemo) {
    DataDir data;
    writeSilentSoundtrack(data.path() / "hazelglow.ogg", 1);
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
    // It played the second of sound (about 25 frames) rather than ending at once.
    EXPECT_GE(run.frames(), 5u);
    expectTerminalGivenBack(run, 50, 80);
}

TEST(TerminalRun, AnUndecodableSoundtrackStopsWithAMessageAndTheTerminalBack) {
    DataDir data;
    std::ofstream(data.path() / "hazelglow.ogg", std::ios::trunc) << "OggS but no Vorbis stream follows";
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus();
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string expected =
        "/hazelglow.ogg: not a soundtrack this demo can play (Ogg Vorbis or PCM WAVE expected)\r\n";
    const std::string& output = run.output();
    ASSERT_GE(output.size(), expected.size());
    EXPECT_EQ(output.substr(output.size() - expected.size()), expected);
    EXPECT_EQ(output.rfind("hazelglow: ", output.size() - expected.size()), output.find("hazelglow: "));
    EXPECT_TRUE(run.termiosUnchanged());
    EmulatedTerminal term(50, 80);
    replay(term, output);
    EXPECT_FALSE(term.altScreen());
    EXPECT_TRUE(term.cursorVisible());
}

// The real soundtrack with 5 KB of noise a third of the way in: the demo
// used to play up to the damage and end with status 0.
TEST(TerminalRun, ADamagedSoundtrackStopsWithTheSecondWhereItBreaks) {
    DataDir data;
    const fs::path soundtrack = data.path() / "hazelglow.ogg";
    const auto size = static_cast<std::streamoff>(fs::file_size(soundtrack));
    {
        std::fstream file(soundtrack, std::ios::binary | std::ios::in | std::ios::out);
        file.seekp(size / 3);
        uint32_t noise = 7;
        for (int i = 0; i < 5000; ++i) {
            noise = noise * 1103515245u + 12345u;
            file.put(static_cast<char>(noise >> 16));
        }
    }
    PtyRun run(data.path(), 80, 50);
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus(60);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 2);
    const std::string& output = run.output();
    const size_t message = output.find("hazelglow: ");
    ASSERT_NE(message, std::string::npos) << output;
    EXPECT_NE(output.find("/hazelglow.ogg: the sound stops decoding at ", message), std::string::npos) << output;
    EXPECT_EQ(run.frames(), 0u);
    EXPECT_TRUE(run.termiosUnchanged());
}

TEST(TerminalRun, OutputThatIsNotATerminalIsRefused) {
    DataDir data;
    int out[2], err[2];
    ASSERT_EQ(pipe(out), 0);
    ASSERT_EQ(pipe(err), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], 1);
        dup2(err[1], 2);
        close(out[0]);
        close(err[0]);
        if (chdir(data.path().c_str()) != 0) _exit(120);
        execl(DemoBinary.c_str(), DemoBinary.c_str(), static_cast<char*>(nullptr));
        _exit(121);
    }
    close(out[1]);
    close(err[1]);
    std::string stdoutText, stderrText;
    char buffer[4096];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) stdoutText.append(buffer, static_cast<size_t>(n));
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) stderrText.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_EQ(stdoutText, "");
    EXPECT_EQ(stderrText, "hazelglow: standard output is not a terminal; run the demo in one\n");
}

}  // namespace
