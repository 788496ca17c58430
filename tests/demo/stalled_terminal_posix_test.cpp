// The real demo on a pseudo-terminal whose reader stops reading: a key
// still ends the demo at once, and once the terminal reads again it gets
// the rest of the frame in progress and then the restore, nothing else.
// With a reader that answers the status queries as a terminal does, the
// frames shown once it reads again are the newest, and SIGTERM sent while it
// stalls ends the demo as soon as it reads again.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include "display/term_sequences.h"
#include "tests/demo/pty_posix_support.h"
#include "tests/support/files.h"

namespace {

uint64_t nowNs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<uint64_t>(t.tv_sec) * 1000000000u + static_cast<uint64_t>(t.tv_nsec);
}

TEST(StalledTerminal, AKeyEndsTheDemoAtOnceAndTheTerminalComesBackWhenItReadsAgain) {
    const std::string binary = std::string(HAZELGLOW_BIN_DIR) + "/hazelglow";
    const std::string frameLog = "/tmp/hazelglow-stalled-" + std::to_string(getpid()) + ".log";
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    const std::string slaveName = ptsname(master);
    const int slave = open(slaveName.c_str(), O_RDWR | O_NOCTTY);
    winsize size{};
    size.ws_col = 80;
    size.ws_row = 50;
    ioctl(slave, TIOCSWINSZ, &size);
    termios before{};
    tcgetattr(slave, &before);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();
        const int tty = open(slaveName.c_str(), O_RDWR);
        ioctl(tty, TIOCSCTTY, 0);
        for (int fd = 0; fd < 3; ++fd) dup2(tty, fd);
        for (int fd = 3; fd < 256; ++fd) close(fd);
        if (chdir(HAZELGLOW_BUILD_DATA_DIR) != 0) _exit(120);
        setenv("TERM", "xterm-256color", 1);
        unsetenv("COLORTERM");
        setenv("HAZELGLOW_FRAME_LOG", frameLog.c_str(), 1);
        execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
        _exit(121);
    }
    ASSERT_GT(pid, 0);
    std::string output;
    const auto readFor = [&](int ms) {
        const uint64_t end = nowNs() + static_cast<uint64_t>(ms) * 1000000u;
        while (nowNs() < end) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
            char buffer[65536];
            const ssize_t n = read(master, buffer, sizeof buffer);
            if (n > 0) output.append(buffer, static_cast<size_t>(n));
        }
    };
    readFor(3000);  // start-up and the first frames
    ASSERT_NE(output.find(TermSeq::SyncBegin), std::string::npos) << "no frame shown";
    // Stalled: long enough for the kernel's buffer to fill and a frame's
    // write to block; meanwhile the frames go on being drawn, unsent.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const uint64_t keyAt = nowNs();
    ASSERT_EQ(write(master, "q", 1), 1);
    std::this_thread::sleep_for(std::chrono::seconds(3));
    int status = -1;
    EXPECT_EQ(waitpid(pid, &status, WNOHANG), 0) << "ended without giving the terminal back";
    const uint64_t readingAgain = nowNs();
    for (int i = 0; i < 100 && waitpid(pid, &status, WNOHANG) != pid; ++i) readFor(100);
    readFor(100);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);

    // The terminal back: settings, and the restore the last thing sent.
    termios after{};
    tcgetattr(slave, &after);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof after), 0);
    // (This machine may have no sound device: the demo then says so, after.)
    output = ptytest::withoutSoundLine(output);
    const size_t restore = output.rfind(TermSeq::ConsoleRestore);
    ASSERT_NE(restore, std::string::npos);
    EXPECT_EQ(restore + TermSeq::ConsoleRestore.size(), output.size());
    EXPECT_GT(restore, output.rfind(TermSeq::SyncBegin));
    // Every frame sent arrived whole: as many ends as starts.
    size_t begins = 0, ends = 0;
    for (size_t at = output.find(TermSeq::SyncBegin); at != std::string::npos;
         at = output.find(TermSeq::SyncBegin, at + 1))
        ++begins;
    for (size_t at = output.find(TermSeq::CursorHide); at != std::string::npos;
         at = output.find(TermSeq::CursorHide, at + 1))
        if (output.compare(at + TermSeq::CursorHide.size(), TermSeq::SyncEnd.size(), TermSeq::SyncEnd) == 0) ++ends;
    EXPECT_EQ(begins, ends);

    // Frames went on being drawn while the terminal stalled, and stopped
    // with the key, not when the terminal read again.
    std::ifstream log(frameLog);
    std::string line;
    uint64_t lastStart = 0;
    size_t drawn = 0;
    while (std::getline(log, line)) {
        char word[8] = "";
        long t = 0;
        unsigned long long start = 0;
        if (std::sscanf(line.c_str(), "%7s %ld %llu", word, &t, &start) == 3 && std::strcmp(word, "frame") == 0) {
            ++drawn;
            lastStart = start;
        }
    }
    std::remove(frameLog.c_str());
    EXPECT_GT(drawn, begins) << "frames were skipped while the terminal stalled";
    EXPECT_LT(lastStart, keyAt + (readingAgain - keyAt) / 2) << "drawing went on after the key";
    close(slave);
    close(master);
}

// The demo's records of a run: each frame's t and start (frame log), and
// the frames sent, in order, with when each was handed to the writer.
struct RunRecords {
    std::vector<std::pair<long, uint64_t>> frames;    // t, start ns; frame n is frames[n - 1]
    std::vector<std::pair<uint32_t, uint64_t>> sent;  // frame number, handed ns
};

RunRecords readRecords(const std::string& frameLog, const std::string& sentLog) {
    RunRecords records;
    std::ifstream frames(frameLog);
    std::string line;
    while (std::getline(frames, line)) {
        long t = 0;
        unsigned long long start = 0;
        if (std::sscanf(line.c_str(), "frame %ld %llu", &t, &start) == 2) records.frames.emplace_back(t, start);
    }
    std::ifstream sent(sentLog);
    while (std::getline(sent, line)) {
        unsigned number = 0, bytes = 0;
        unsigned long long handed = 0;
        if (std::sscanf(line.c_str(), "sent %u %u %llu", &number, &bytes, &handed) == 3)
            records.sent.emplace_back(number, handed);
    }
    return records;
}

TEST(StalledTerminal, AnAnsweringTerminalShowsTheNewestFramesOnceItReadsAgainAndSigtermEndsItThen) {
    const testfiles::TempDir dir("stalled");
    const std::string frameLog = (dir.path() / "frames.log").string();
    const std::string sentLog = (dir.path() / "sent.log").string();
    setenv("HAZELGLOW_FRAME_LOG", frameLog.c_str(), 1);
    setenv("HAZELGLOW_SENT_LOG", sentLog.c_str(), 1);
    ptytest::PtyOptions options;
    options.workDir = HAZELGLOW_BUILD_DATA_DIR;
    ptytest::PtyRun run(options);
    unsetenv("HAZELGLOW_FRAME_LOG");
    unsetenv("HAZELGLOW_SENT_LOG");
    ASSERT_TRUE(run.started());

    // Reads for `ms`, answering every status query as it is read.
    size_t asked = 0;  // where the next query is looked for
    const auto readAnswering = [&](int ms) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        run.readUntil(
            [&](const std::string& out) {
                for (size_t at = out.find(TermSeq::StatusQuery, asked); at != std::string::npos;
                     at = out.find(TermSeq::StatusQuery, asked)) {
                    run.type(TermSeq::StatusAnswer);
                    asked = at + TermSeq::StatusQuery.size();
                }
                return std::chrono::steady_clock::now() >= end;
            },
            ms / 1000 + 5);
    };
    readAnswering(3000);  // start-up and the first frames
    ASSERT_GT(run.frames(), 5u) << "frames do not flow";
    // Stalled long enough for unanswered frames to stop the sending and for
    // the kernel's buffer to fill; meanwhile the frames go on being drawn.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const uint64_t readingAgain = nowNs();
    readAnswering(2000);
    const std::string beforeSecondStall = run.output();
    const size_t shownBeforeSecondStall = run.frames();

    // Stalled again, and ended while stalled: the demo waits to give the
    // terminal back, and does so as soon as it reads again.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    ASSERT_EQ(kill(run.pid(), SIGTERM), 0);
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const auto readAgain = std::chrono::steady_clock::now();
    // Ended, seen without reaping it (PtyRun's wait does that).
    const auto hasEnded = [&] {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(run.pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == run.pid();
    };
    for (int i = 0; i < 300 && !hasEnded(); ++i) readAnswering(10);
    const auto ended = std::chrono::steady_clock::now();
    ASSERT_TRUE(hasEnded()) << "still running after the terminal read again";
    EXPECT_LT(ended - readAgain, std::chrono::seconds(1));
    EXPECT_TRUE(ptytest::diedOf(run.waitForStatus(), SIGTERM));
    {
        // Every answer was read before the echo came back: nothing after the restore.
        SCOPED_TRACE("terminal given back");
        EXPECT_TRUE(run.termiosUnchanged());
        const std::string out = ptytest::withoutSoundLine(run.output());
        ASSERT_NE(out.rfind(TermSeq::ConsoleRestore), std::string::npos);
        EXPECT_EQ(out.rfind(TermSeq::ConsoleRestore) + TermSeq::ConsoleRestore.size(), out.size());
    }

    // The frames shown once the terminal read again were drawn after that:
    // the newest, not the ones drawn while it stalled.
    const RunRecords records = readRecords(frameLog, sentLog);
    ASSERT_GE(records.sent.size(), shownBeforeSecondStall);
    size_t drawnBeforeReading = 0;
    while (drawnBeforeReading < records.frames.size() && records.frames[drawnBeforeReading].second < readingAgain)
        ++drawnBeforeReading;
    const uint32_t lastShown = records.sent[shownBeforeSecondStall - 1].first;
    ASSERT_GE(lastShown, 1u);
    ASSERT_LE(lastShown, records.frames.size());
    EXPECT_GT(lastShown, drawnBeforeReading + 10) << "the frames shown after the stall are old ones";
    // And the screen is that frame: as the render tool makes it.
    const long t = records.frames[lastShown - 1].first;
    EXPECT_EQ(t, 40L * lastShown);
    const std::string ansi = (dir.path() / "frame.ansi").string();
    const std::string command = "env -u COLORTERM " + std::string(HAZELGLOW_BIN_DIR) + "/hazelglow-render --data " +
                                HAZELGLOW_BUILD_DATA_DIR + " --from " + std::to_string(lastShown) + " --frames " +
                                std::to_string(lastShown) + " --size 80x50 --ansi " + ansi;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EmulatedTerminal expected(50, 80), shown(50, 80);
    expected.feed(TermSeq::ConsoleEnter);
    expected.feed(testfiles::readFile(ansi));
    shown.feed(beforeSecondStall);
    int wrong = 0;
    for (int row = 0; row < 50; ++row)
        for (int column = 0; column < 80; ++column) {
            const VTermScreenCell a = shown.cell(row, column), b = expected.cell(row, column);
            const bool blankA = a.chars[0] == 0 || a.chars[0] == ' ', blankB = b.chars[0] == 0 || b.chars[0] == ' ';
            const bool same = (a.chars[0] == b.chars[0] || (blankA && blankB)) &&
                              (blankA || vterm_color_is_equal(&a.fg, &b.fg)) && vterm_color_is_equal(&a.bg, &b.bg);
            if (!same && wrong++ < 5) ADD_FAILURE() << "cell (" << column << ", " << row << ") differs";
        }
    EXPECT_EQ(wrong, 0) << "frame " << lastShown;
}

}  // namespace
