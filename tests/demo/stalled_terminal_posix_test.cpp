// The real demo on a pseudo-terminal whose reader stops reading: a key
// still ends the demo at once, and once the terminal reads again it gets
// the rest of the frame in progress and then the restore, nothing else.
#include <gtest/gtest.h>

#include <chrono>
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

#include "display/term_sequences.h"
#include "tests/demo/pty_posix_support.h"

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

}  // namespace
