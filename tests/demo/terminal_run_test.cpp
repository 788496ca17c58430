// The real demo in a pseudo-terminal: frames shown, the ways it ends, and
// the terminal exactly as it was afterwards.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "display/term_sequences.h"
#include "tests/demo/pty_posix_support.h"

namespace fs = std::filesystem;

namespace {

using namespace ptytest;

// The picture centred as a grid of `columns` x `rows`, nothing around it.
void expectGridCentred(const EmulatedTerminal& term, int columns, int rows) {
    int outside = 0;
    EXPECT_GT(pictureCells(term, &outside, columns, rows), 0);
    EXPECT_EQ(outside, 0);
}

TEST(TerminalRun, ShowsCentredFramesAndAKeyEndsIt) {
    DataDir data;
    PtyRun run({.workDir = data.path(), .columns = 100, .rows = 55, .args = {"--exact"}});
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

    endWithKey(run, "\x1b[A");  // one key press: all its bytes together
    // Not even --exact asks the window for 80x50 cells (a shape other than
    // the picture's, and a shrink of a larger window).
    EXPECT_FALSE(asksForASize(out));
}

TEST(TerminalRun, AKeyPressedBeforeTheFirstFrameEndsTheDemoAfterIt) {
    DataDir data;
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    run.type("x");
    ASSERT_TRUE(exitedWith(run.waitForStatus(60), 0));
    EXPECT_EQ(run.frames(), 1u);
    expectTerminalGivenBack(run);
}

TEST(TerminalRun, CtrlSIsAKeyLikeAnyOtherNotAFreeze) {
    DataDir data;
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    endWithKey(run, "\x13");
}

// The console reads the terminal's input while the demo runs: an answer to
// its status query is no key, a lone Esc is one once nothing follows it.
TEST(TerminalRun, AStatusAnswerIsNoKeyAndALoneEscIsOne) {
    DataDir data;
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    run.type(TermSeq::StatusAnswer);
    run.type("\x1b[3n");
    const size_t before = run.frames();
    ASSERT_TRUE(run.waitForFrames(before + 10)) << "an answer ended the demo";
    int status = 0;
    EXPECT_EQ(waitpid(run.pid(), &status, WNOHANG), 0);
    endWithKey(run, "\x1b");
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
    PtyRun run({.workDir = data.path(), .columns = 90, .rows = 40, .colorterm = "truecolor"});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(5));
    if (sig == SIGINT)
        run.type("\x03");  // Ctrl+C, through the terminal's own signal keys
    else
        kill(run.pid(), sig);
    const int status = run.waitForStatus();
    // Died of the signal, as the parent (a shell's loop) must see it; a
    // shell reports that as 128 + n.
    ASSERT_TRUE(diedOf(status, sig));
    expectTerminalGivenBack(run);
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
    PtyRun run({.workDir = data.path(), .binary = script.string()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    run.type("\x03");
    EXPECT_TRUE(diedOf(run.waitForStatus(), SIGINT));
    EXPECT_EQ(run.count(TermSeq::ConsoleEnter), 1u) << "the loop started the demo again";
    EXPECT_EQ(run.output().find("went on"), std::string::npos);
}

// Faults, sent from outside here, the way a real one is taken.
class TerminalFault : public testing::TestWithParam<int> {};

TEST_P(TerminalFault, RestoresTheTerminalAndDiesOfTheSignal) {
    const int sig = GetParam();
    DataDir data;
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    kill(run.pid(), sig);
    const int status = run.waitForStatus();
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    // A sanitizer's own handler reports SEGV, BUS and FPE, then exits or aborts.
    if (sig == SIGSEGV || sig == SIGBUS || sig == SIGFPE) {
        EXPECT_TRUE(WIFSIGNALED(status) ? WTERMSIG(status) == sig || WTERMSIG(status) == SIGABRT
                                        : WEXITSTATUS(status) != 0)
            << status;
        expectTerminalGivenBack(run, false);
        return;
    }
#endif
    ASSERT_TRUE(diedOf(status, sig));
    expectTerminalGivenBack(run);
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
    PtyRun run({.workDir = data.path(), .binary = "/bin/sh", .args = {"-c", command}});
    ASSERT_TRUE(run.started());
    const int status = run.waitForStatus(15);
    ASSERT_NE(status, -1) << "the demo was still there 13 s after timeout's SIGTERM";
    EXPECT_TRUE(exitedWith(status, 0));
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
    PtyRun run({.workDir = data.path(), .binary = "/bin/bash", .args = {"--norc", "-c", command}});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    run.type("\x1a");  // Ctrl+Z
    const int status = run.waitForStatus(15);
    ASSERT_NE(status, -1) << "the demo was still there after SIGTERM and SIGCONT";
    EXPECT_NE(run.output().find("stopped 148"), std::string::npos);
    EXPECT_NE(run.output().find("status 143"), std::string::npos);
    EXPECT_TRUE(run.termiosUnchanged());
}

TEST(TerminalRun, ASignalTheCallerIgnoredStaysIgnored) {
    DataDir data;
    PtyRun run({.workDir = data.path(), .ignored = {SIGUSR1, SIGHUP}});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    kill(run.pid(), SIGUSR1);
    kill(run.pid(), SIGHUP);
    const size_t framesThen = run.frames();
    ASSERT_TRUE(run.waitForFrames(framesThen + 5));
    endWithKey(run);
}

// nohup, then the terminal window closed: writes fail for good, and the
// demo must stop rather than render for nobody.
TEST(TerminalRun, AClosedTerminalStopsTheDemoWithAFailure) {
    DataDir data;
    PtyRun run({.workDir = data.path(), .ignored = {SIGHUP}});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    run.closeMaster();
    const int status = run.waitForStatus(10);
    ASSERT_NE(status, -1) << "still running after its terminal closed";
    ASSERT_TRUE(exitedWith(status, 1));
}

TEST(TerminalRun, AResizeRepaintsCentredInTheNewSize) {
    DataDir data;
    PtyRun run({.workDir = data.path(), .args = {"--exact"}});
    ASSERT_TRUE(run.started());
    EmulatedTerminal before(50, 80);
    ASSERT_TRUE(waitForPicture(run, before));
    EXPECT_EQ(run.count(TermSeq::ClearScreen), 1u) << "the screen is cleared once, not per frame";
    ASSERT_TRUE(resizeAndWait(run, 120, 60));  // the kernel tells the demo with SIGWINCH
    // What the terminal shows from the repaint on, in the new size.
    EmulatedTerminal term(60, 120);
    replayLastRepaint(run, term);
    expectPictureCentred(term);
    run.type("q");
    EXPECT_EQ(run.waitForStatus(), 0);
}

// Cells of unknown shape (the pseudo-terminal reports no pixel size and
// answers no question), taken as 1:2: the 80x50 cells would be too narrow
// at any size, so every size gets the picture fitted.
TEST(TerminalRun, EverySizeGetsTheWholePictureFittedInItsShape) {
    DataDir data;
    data.useBuiltStrips();
    PtyRun run({.workDir = data.path(), .columns = 100, .rows = 55});
    ASSERT_TRUE(run.started());
    // Far enough into the fade-in that a fitted picture shows (at its
    // start the averaging makes everything level 0).
    ASSERT_TRUE(run.waitForFrames(75));
    EmulatedTerminal large(55, 100);
    replayLastRepaint(run, large);
    expectGridCentred(large, 100, 47);

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
    expectGridCentred(again, 100, 47);

    endWithKey(run);
    // A window of unknown pixel size is neither sized (in cells or pixels)
    // nor moved.
    EXPECT_FALSE(asksForASize(run.output()));
    EXPECT_EQ(run.output().find("\x1b[3;0;0t"), std::string::npos);
}

TEST(TerminalRun, FillUsesTheWholeHeightOfALargeTerminal) {
    DataDir data;
    data.useBuiltStrips();
    PtyRun run({.workDir = data.path(), .columns = 200, .rows = 60, .args = {"--fill"}});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(40));
    EmulatedTerminal term(60, 200);
    replayLastRepaint(run, term);
    int outside = 0;
    EXPECT_GT(pictureCells(term, &outside, 128, 60), 0);
    EXPECT_EQ(outside, 0);
    endWithKey(run);
}

TEST(TerminalRun, KeysComeFromTheTerminalWhenStandardInputIsNotOne) {
    DataDir data;
    PtyRun run({.workDir = data.path(), .inputFromNull = true});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    const std::string key = "\xC3\xA9";  // é: never part of a frame, so any echo would show
    endWithKey(run, key);
    EXPECT_EQ(run.output().find(key), std::string::npos) << "the key was echoed";
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
    PtyRun run({.workDir = data.path(), .rows = 24, .args = option.args});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(exitedWith(run.waitForStatus(), option.status));
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
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    // The demo leads a session of its own here, so the kernel does not
    // actually stop it (an orphaned group ignores stop signals); the
    // terminal must still be given back, then taken again.
    kill(run.pid(), SIGTSTP);
    ASSERT_TRUE(waitForTerminalTakenAgain(run));
    const std::string& out = run.output();
    const size_t back = out.find(TermSeq::ConsoleRestore);
    // Taken again with its title, and repainted from a cleared screen.
    const size_t again = out.find(TermSeq::ConsoleEnter, back);
    EXPECT_NE(out.find("\x1b]0;rUUX - V", again), std::string::npos);
    EXPECT_NE(out.find(TermSeq::ClearScreen, again), std::string::npos);
    endWithKey(run);
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
    PtyRun run({.workDir = data.path(), .binary = (bin / "hazelglow").string()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(exitedWith(run.waitForStatus(), 2));
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
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(exitedWith(run.waitForStatus(), 0));
    // It played the second of sound (about 25 frames) rather than ending at once.
    EXPECT_GE(run.frames(), 5u);
    expectTerminalGivenBack(run);
}

TEST(TerminalRun, AnUndecodableSoundtrackStopsWithAMessageAndTheTerminalBack) {
    DataDir data;
    std::ofstream(data.path() / "hazelglow.ogg", std::ios::trunc) << "OggS but no Vorbis stream follows";
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(exitedWith(run.waitForStatus(), 2));
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
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(exitedWith(run.waitForStatus(60), 2));
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
    ASSERT_TRUE(exitedWith(status, 2));
    EXPECT_EQ(stdoutText, "");
    EXPECT_EQ(stderrText, "hazelglow: standard output is not a terminal; run the demo in one\n");
}

}  // namespace
