// The output backends for real: the silent output's pace and clean shutdown,
// start's fallback, and the ALSA backend writing through ALSA's own "file"
// plugin, whose bytes must be the --wav mix.
#include <gtest/gtest.h>
#include <numbers>

#include <alsa/asoundlib.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/aurix.h"
#include "tests/audio/audio_support.h"
#include "tests/support/files.h"
#include "tools/render/frame_audio.h"

using namespace Aurix;
using audiotest::expectNoBackend;
using Clock = std::chrono::steady_clock;

namespace {

// The engine's mixing threads now running (each is named "aurix-mixer").
int threadCount() {
    int count = 0;
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            if (entry->d_name[0] == '.') continue;
            std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
            std::string name;
            if (std::getline(comm, name) && name == "aurix-mixer") ++count;
        }
        closedir(tasks);
    }
    return count;
}

bool voiceAlive(const AudioEngine& engine, VoiceHandle handle) {
    engine.acquireLock();
    const bool alive = engine.voiceForHandle(handle) != nullptr;
    engine.releaseLock();
    return alive;
}

// Waits for the mixer to remove the voice; the seconds it took, or -1 after the limit.
double secondsUntilGone(const AudioEngine& engine, VoiceHandle handle, double limit) {
    const auto start = Clock::now();
    for (;;) {
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        if (!voiceAlive(engine, handle)) return elapsed;
        if (elapsed > limit) return -1.0;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::vector<float> stereoTone(uint32_t frames) {
    std::vector<float> planar(2 * size_t(frames));
    for (uint32_t i = 0; i < frames; ++i) {
        planar[i] = float(0.6 * std::sin(2.0 * std::numbers::pi * 440.0 * i / 44100.0));
        planar[frames + i] = float(0.3 * std::sin(2.0 * std::numbers::pi * 660.0 * i / 44100.0));
    }
    return planar;
}

}  // namespace

TEST(SilentOutput, VoicesAdvanceAtTheDevicePaceAndEnd) {
    ASSERT_EQ(threadCount(), 0);
    Wav wav;
    audiotest::fillWav(wav, stereoTone(22050), 2, 44100.0f);  // half a second
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendSilent), Success);
    EXPECT_STREQ(engine.backendName, "Silent");
    EXPECT_EQ(engine.backendKind, uint32_t(BackendSilent));
    EXPECT_NE(engine.acquireHook, nullptr);
    EXPECT_EQ(engine.sampleRate, 44100u);
    EXPECT_EQ(engine.bufferFrames, 8192u);
    EXPECT_EQ(threadCount(), 1);

    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(handle, 1.0f, 1.0f);
    // Six blocks hold the half second; two go out at once, then one per 4096/44100 s.
    const double took = secondsUntilGone(engine, handle, 5.0);
    EXPECT_GE(took, 0.25);
    EXPECT_LT(took, 2.0);

    engine.shutdown();
    expectNoBackend(engine);
    EXPECT_EQ(threadCount(), 0);
}

TEST(SilentOutput, RepeatedStartClosesTheRunningBackend) {
    ASSERT_EQ(threadCount(), 0);
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendSilent), Success);
    ASSERT_EQ(engine.start(BackendSilent), Success);
    EXPECT_EQ(threadCount(), 1);
    EXPECT_EQ(engine.start(5), Unsupported);  // closes it, opens nothing
    expectNoBackend(engine);
    EXPECT_EQ(threadCount(), 0);
}

TEST(OutputChoice, AutomaticChoiceAlwaysGivesAnOutput) {
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendAuto), Success);
    ASSERT_NE(engine.backendName, nullptr);
    const std::string name = engine.backendName;
    EXPECT_TRUE(name == "ALSA" || name == "Silent") << name;
    // Falling back says why.
    if (name == "Silent") {
        EXPECT_FALSE(engine.outputNote().empty());
    }
    engine.shutdown();
    expectNoBackend(engine);
}

// ALSA reads its configuration again from the file given.
static void useAlsaConfiguration(const std::string& path) {
    setenv("ALSA_CONFIG_PATH", path.c_str(), 1);
    snd_config_update_free_global();
}

static void forgetAlsaConfiguration() {
    unsetenv("ALSA_CONFIG_PATH");
    snd_config_update_free_global();
}

// A one-line ALSA configuration in a folder of the test's own, read until
// forgotten; the folder goes with it.
struct AlsaConfiguration {
    explicit AlsaConfiguration(const char* text) {
        std::ofstream(config) << text;
        useAlsaConfiguration(config);
    }
    ~AlsaConfiguration() { forgetAlsaConfiguration(); }
    const testfiles::TempDir dir{"alsa"};
    const std::string config = (dir / "asound.conf").string();
};

TEST(AlsaOutput, DeviceThatCannotOpenLeavesNothingAndAutomaticFallsBack) {
    AlsaConfiguration noDevice("pcm.!default { type hw card 99 }\n");
    AudioEngine engine;
    EXPECT_EQ(engine.start(BackendWaveOut), GeneralFailure);
    expectNoBackend(engine);
    EXPECT_EQ(engine.backendKind, 0u);
    // The device and its reason, and nothing played.
    const std::string note = engine.outputNote();
    EXPECT_EQ(note.rfind("ALSA \"default\": ", 0), 0u) << note;
    EXPECT_GT(note.size(), std::string("ALSA \"default\": ").size());
    EXPECT_EQ(engine.outputReport(), "no sound: " + note);
    EXPECT_EQ(engine.start(BackendAuto), Success);
    forgetAlsaConfiguration();
    EXPECT_STREQ(engine.backendName, "Silent");
    EXPECT_EQ(engine.outputNote(), note);
    EXPECT_EQ(engine.outputReport(), "no sound: " + note + " (played silently)");
    engine.shutdown();
    expectNoBackend(engine);
}

TEST(AlsaOutput, FilePluginReceivesExactlyTheRenderedMix) {
    const testfiles::TempDir dir("alsa");
    const std::string config = (dir / "asound.conf").string();
    const std::string capture = (dir / "capture.raw").string();
    {
        std::ofstream out(config);
        out << "pcm.!default {\n"
               "    type file\n"
               "    slave { pcm { type null } }\n"
               "    file \""
            << capture
            << "\"\n"
               "    format \"raw\"\n"
               "}\n";
    }
    useAlsaConfiguration(config);

    // Under the second of sound that tells a device too fast for time (the
    // null slave is one): the whole mix reaches the file first.
    Wav wav;
    audiotest::fillWav(wav, stereoTone(30000), 2, 44100.0f);
    AudioEngine engine;
    // Started before the output opens, so the voice begins in the first block written.
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(handle, 1.0f, 1.0f);
    const AudioStatus status = engine.start(BackendWaveOut);
    forgetAlsaConfiguration();
    ASSERT_EQ(status, Success) << engine.outputNote();
    EXPECT_STREQ(engine.backendName, "ALSA");
    EXPECT_GE(secondsUntilGone(engine, handle, 30.0), 0.0);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // some silence after the end
    engine.shutdown();
    expectNoBackend(engine);

    const std::string bytes = testfiles::readFile(capture);
    const std::vector<int16_t> mix = mixSoundtrack(wav);
    ASSERT_EQ(mix.size() % 8192, 0u);
    ASSERT_GE(bytes.size(), mix.size() * 2);
    std::vector<int16_t> written(bytes.size() / 2);
    std::memcpy(written.data(), bytes.data(), written.size() * 2);
    for (size_t i = 0; i < mix.size(); ++i) ASSERT_EQ(written[i], mix[i]) << "sample " << i;
    for (size_t i = mix.size(); i < written.size(); ++i) ASSERT_EQ(written[i], 0) << "sample " << i;
}

// ALSA's null plugin takes every block at once, as fast as they are made.
// It is given up after its first second of sound (the demo is still
// loading then), and the silent pacing plays on by the system clock, with
// a position to follow.
TEST(AlsaOutput, DeviceFasterThanTimeIsGivenUpForTheSystemClock) {
    AlsaConfiguration nullDevice("pcm.!default { type null }\n");
    AudioEngine engine;
    const AudioStatus status = engine.start(BackendAuto);
    forgetAlsaConfiguration();
    ASSERT_EQ(status, Success) << engine.outputNote();
    EXPECT_STREQ(engine.backendName, "ALSA");
    EXPECT_EQ(engine.outputNote(), "");
    const auto opened = Clock::now();
    while (engine.outputReport().empty() && Clock::now() - opened < std::chrono::seconds(5))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_LT(Clock::now() - opened, std::chrono::seconds(1));

    Wav wav;
    audiotest::fillWav(wav, stereoTone(22050), 2, 44100.0f);  // half a second
    const auto started = Clock::now();
    const VoiceHandle handle = engine.startVoice(wav, -1.0f, 0.0f);
    HeardFrame heard;
    while (heard.status != HeardFrame::Heard && Clock::now() - started < std::chrono::seconds(3)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        heard = engine.heardFrame(handle);
    }
    EXPECT_EQ(heard.status, HeardFrame::Heard);
    EXPECT_GE(secondsUntilGone(engine, handle, 10.0), 0.25);

    const std::string report = engine.outputReport();
    const std::string lead = "no sound: ALSA \"default\": took ";
    EXPECT_EQ(report.rfind(lead, 0), 0u) << report;
    EXPECT_NE(report.find(", faster than it can be played (played silently)"), std::string::npos) << report;
    engine.shutdown();
    expectNoBackend(engine);
    EXPECT_EQ(threadCount(), 0);
}
