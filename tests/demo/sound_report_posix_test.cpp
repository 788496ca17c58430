// What the demo says after the run about the sound it played through, here
// with ALSA's null device: one that takes the sound faster than it can be
// played.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "display/term_sequences.h"
#include "tests/demo/pty_posix_support.h"

namespace {

using namespace ptytest;
namespace fs = std::filesystem;

TEST(SoundReport, ADeviceFasterThanTimeIsPlayedSilentlyOnTheClockAndSaidAfterTheRun) {
    DataDir data;
    // A home of the test's own: ALSA's default becomes the null plugin.
    const fs::path home = data.path() / "home";
    fs::create_directories(home);
    std::ofstream(home / ".asoundrc") << "pcm.!default { type null }\n";
    PtyRun run({.workDir = data.path(), .home = home.c_str()});
    ASSERT_TRUE(run.started());
    // The demo runs on (it used to end at once, its soundtrack swallowed).
    ASSERT_TRUE(run.waitForFrames(40));
    std::this_thread::sleep_for(std::chrono::seconds(1));
    endWithKey(run);
    expectTerminalGivenBack(run, false);
    const std::string& out = run.output();
    const std::string after = out.substr(out.rfind(TermSeq::ConsoleRestore) + TermSeq::ConsoleRestore.size());
    EXPECT_EQ(after.rfind("hazelglow: no sound: ALSA \"default\": took ", 0), 0u) << after;
    EXPECT_NE(after.find(", faster than it can be played (played silently)\r\n"), std::string::npos) << after;
    EXPECT_EQ(after.find('\n'), after.size() - 1) << "one line";
}

}  // namespace
