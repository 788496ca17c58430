// The demo in a pseudo-terminal that answers (or not) its questions about
// the cells, reports pixel sizes, or none at all; and the terminal as tidy
// as before after every ending, also without an alternate screen.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <string>
#include <termios.h>
#include <unistd.h>

#include "display/term_sequences.h"
#include "display/terminal_replies.h"
#include "tests/demo/pty_posix_support.h"

namespace {

using namespace ptytest;

// The demo started through python, which first sets the terminal's size in
// cells and pixels as a terminal emulator would (the support sets cells only).
PtyOptions withPixels(const DataDir& data, int columns, int rows, int xPixels, int yPixels) {
    const std::string script =
        "import fcntl, os, struct, sys, termios\n"
        "fcntl.ioctl(1, termios.TIOCSWINSZ, struct.pack('HHHH', " +
        std::to_string(rows) + ", " + std::to_string(columns) + ", " + std::to_string(xPixels) + ", " +
        std::to_string(yPixels) +
        "))\n"
        "os.execv(sys.argv[1], sys.argv[1:])\n";
    PtyOptions options{.workDir = data.path(), .columns = columns, .rows = rows, .binary = "/usr/bin/python3"};
    options.args = {"-c", script, DemoBinary};
    return options;
}

// The picture's cells inside a centred grid, none outside.
void expectGrid(const PtyRun& run, int columns, int rows) {
    EmulatedTerminal term(run.rows(), run.columns());
    replayLastRepaint(run, term);
    int outside = 0;
    EXPECT_GT(pictureCells(term, &outside, columns, rows), 0);
    EXPECT_EQ(outside, 0);
}

// The matcher the tests below rely on to see that no size was asked for.
TEST(TerminalShape, TheSizeRequestMatcherSeesRequestsOnly) {
    EXPECT_TRUE(asksForASize("ab\x1b[4;600;640tcd"));
    EXPECT_TRUE(asksForASize("\x1b[8;50;80t"));
    EXPECT_FALSE(asksForASize("\x1b[18t\x1b[14t\x1b[4;600t\x1b[8;;80t\x1b[48;5;16m"));
}

TEST(TerminalShape, ASmallWindowIsAskedToGrowInPixelsAndGivenItsSizeBack) {
    DataDir data;
    // xterm's 80x24 of 6x13 cells: 480x312 pixels, asked for the console's 640x600.
    PtyRun run(withPixels(data, 80, 24, 480, 312));
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    const std::string& out = run.output();
    EXPECT_LT(out.find("\x1b[4;600;640t"), out.find(TermSeq::SyncBegin));
    EXPECT_EQ(out.find(CellSizeQuery), std::string::npos) << "asked although the pixel size was reported";
    endWithKey(run);
    const std::string sizeThenRestore = "\x1b[8;24;80t" + std::string(TermSeq::ConsoleRestore);
    EXPECT_EQ(out.rfind(sizeThenRestore) + sizeThenRestore.size(),
              out.rfind(TermSeq::ConsoleRestore) + TermSeq::ConsoleRestore.size());
    EXPECT_EQ(afterRestore(out), "");
}

TEST(TerminalShape, ALargeWindowIsNeverSizedAndItsConsoleShapedCellsGetThe80x50) {
    DataDir data;
    // 1000x750 pixels of 100x60 cells of 10x12.5: not the console's shape
    // (8x12 within 4 %): 10 / 12.5 = 0.8.
    PtyRun run(withPixels(data, 100, 60, 1000, 750));
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    // 8x12 cells: 800x600 pixels of 100x50.
    DataDir second;
    PtyRun console(withPixels(second, 100, 50, 800, 600));
    ASSERT_TRUE(console.started());
    EmulatedTerminal term(50, 100);
    ASSERT_TRUE(waitForPicture(console, term));
    expectPictureCentred(term);
    endWithKey(console);
    endWithKey(run);
    for (const PtyRun* r : {&run, &console}) EXPECT_FALSE(asksForASize(r->output()));
}

// The pseudo-terminal reports 0x0 cells: nothing is asked of it, so there
// is nothing left to undo, and it still gets its frames.
TEST(TerminalShape, ATerminalOf0x0CellsIsAskedForNoSize) {
    DataDir data;
    PtyRun run(withPixels(data, 0, 0, 0, 0));
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    run.type("q");
    ASSERT_TRUE(exitedWith(run.waitForStatus(), 0));
    EXPECT_TRUE(run.termiosUnchanged());
    const std::string& out = run.output();
    EXPECT_FALSE(asksForASize(out));
    EXPECT_EQ(afterRestore(out), "");
}

// A terminal without a pixel size answers the question for its cells; the
// answer decides the grid. Cells of 8x12 with room for 80x50: the console.
TEST(TerminalShape, TheAnsweredCellSizeDecidesTheGrid) {
    struct Answer {
        std::string bytes;
        bool exact;
    };
    const Answer answers[] = {
        {"\x1b[6;12;8t\x1b[4;600;640t\x1b[?62;22c", true},  // 8x12 cells
        {"\x1b[4;600;640t\x1b[?62;22c", true},              // only the text area: 8x12 again
        {"\x1b[6;19;10t\x1b[?62;22c", false},               // VTE's 10x19
        {"\x1b[?62;22c", false},                            // no window operations: taken as 1:2
    };
    for (const Answer& answer : answers) {
        SCOPED_TRACE(testing::PrintToString(answer.bytes));
        DataDir data;
        data.useBuiltStrips();
        PtyRun run({.workDir = data.path()});
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(run.readUntil([](const std::string& out) { return out.find(CellSizeQuery) != std::string::npos; }));
        run.type(answer.bytes);
        ASSERT_TRUE(run.waitForFrames(75));
        if (answer.exact)
            expectGrid(run, 80, 50);
        else
            expectGrid(run, 80, answer.bytes.find("6;19;10") != std::string::npos ? 39 : 38);
        // The answers were no key: the demo is still running.
        endWithKey(run);
    }
}

TEST(TerminalShape, AKeyTypedWhileTheTerminalIsAskedEndsTheDemo) {
    DataDir data;
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.readUntil([](const std::string& out) { return out.find(CellSizeQuery) != std::string::npos; }));
    // A key between two answers, and the last answer after it.
    run.type("\x1b[6;19;10tx\x1b[?62;22c");
    ASSERT_TRUE(exitedWith(run.waitForStatus(), 0));
    EXPECT_EQ(run.frames(), 1u);
    expectTerminalGivenBack(run);
}

// A terminal without an alternate screen (GNU screen's default) keeps the
// last frame unless the demo clears it: the restore leaves it blank, the
// cursor at the top left, where the prompt then starts.
TEST(TerminalShape, ATerminalWithoutAnAlternateScreenIsLeftBlank) {
    DataDir data;
    PtyRun run({.workDir = data.path(), .args = {"--exact"}});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(40));
    endWithKey(run);
    std::string out = withoutSoundLine(run.output());
    for (const std::string_view mode : {TermSeq::AltScreenOn, TermSeq::AltScreenOff})
        for (size_t at = out.find(mode); at != std::string::npos; at = out.find(mode)) out.erase(at, mode.size());
    EmulatedTerminal term(50, 80);
    replay(term, out);
    for (int row = 0; row < 50; ++row) EXPECT_EQ(term.rowText(row), "") << "row " << row;
    EXPECT_EQ(term.cursor().row, 0);
    EXPECT_EQ(term.cursor().col, 0);
}

// Stopped by SIGSTOP, which the demo cannot see, and meanwhile the shell
// put the terminal in its line mode with echo: SIGCONT applies the demo's
// settings again.
TEST(TerminalShape, ContinuedAfterAStopFromOutsideTheSettingsAreAppliedAgain) {
    DataDir data;
    PtyRun run({.workDir = data.path()});
    ASSERT_TRUE(run.started());
    ASSERT_TRUE(run.waitForFrames(3));
    const int tty = open(("/proc/" + std::to_string(run.pid()) + "/fd/1").c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(tty, 0);
    termios demo{};
    ASSERT_EQ(tcgetattr(tty, &demo), 0);
    EXPECT_EQ(demo.c_lflag & (ICANON | ECHO), 0u);
    kill(run.pid(), SIGSTOP);
    termios shell = demo;
    shell.c_lflag |= ICANON | ECHO;
    ASSERT_EQ(tcsetattr(tty, TCSANOW, &shell), 0);
    kill(run.pid(), SIGCONT);
    const size_t frames = run.frames();
    ASSERT_TRUE(run.waitForFrames(frames + 5));
    termios now{};
    ASSERT_EQ(tcgetattr(tty, &now), 0);
    close(tty);
    EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u) << "still in the shell's line mode";
    // A key ends it at once, no Enter needed; the settings from before come back.
    endWithKey(run);
}

// SIGTTIN and SIGTTOU sent by someone are a stop like Ctrl+Z: the terminal
// is given back first (here, in a session of its own, the kernel does not
// actually stop it), then taken again.
TEST(TerminalShape, JobControlStopsSentFromOutsideGiveTheTerminalBack) {
    for (const int sig : {SIGTTIN, SIGTTOU}) {
        SCOPED_TRACE(sigabbrev_np(sig));
        DataDir data;
        PtyRun run({.workDir = data.path()});
        ASSERT_TRUE(run.started());
        ASSERT_TRUE(run.waitForFrames(3));
        kill(run.pid(), sig);
        ASSERT_TRUE(waitForTerminalTakenAgain(run));
        endWithKey(run);
    }
}

}  // namespace
