// The engine shared between two threads, as in the demo: a mixing thread
// renders while the main thread starts, tests and stops voices. Run under the
// tsan preset, a missing lock anywhere on these paths is reported.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/aurix.h"
#include "audio/output.h"
#include "tests/audio/audio_support.h"

using namespace Aurix;

namespace {

void exerciseFromTheMainThread(AudioEngine& engine, Wav& shortSound, Wav& longSound, int rounds) {
    std::vector<VoiceHandle> handles;
    for (int round = 0; round < rounds; ++round) {
        handles.push_back(engine.startVoice(round % 3 == 0 ? longSound : shortSound, float(round % 7) / 7.0f,
                                            float(round % 5) / 2.0f - 1.0f));
        engine.setChannelVolumes(handles.back(), 1.0f, 0.5f);
        int alive = 0;
        for (VoiceHandle handle : handles) {
            engine.acquireLock();
            if (engine.voiceForHandle(handle) != nullptr) ++alive;
            engine.releaseLock();
        }
        EXPECT_LE(alive, round + 1);
        if (round % 50 == 49) engine.stopSource(shortSound);
        if (round % 200 == 199) engine.stopEverything();
        std::this_thread::yield();
    }
}

}  // namespace

TEST(EngineThreads, MainThreadPlaysVoicesWhileAThreadRenders) {
    Wav shortSound;
    Wav longSound;
    audiotest::fillWav(shortSound, std::vector<float>(2 * 700, 0.25f), 2, 48000.0f);
    audiotest::fillWav(longSound, std::vector<float>(50000, 0.5f), 1, 22050.0f);
    AudioEngine engine;
    engine.configureOutput(44100, 8192);
    ASSERT_TRUE(installEngineLock(engine));

    std::atomic<bool> stop{false};
    std::atomic<int> blocks{0};
    std::thread mixer([&] {
        std::vector<float> out(2 * 1024);
        while (!stop.load()) {
            engine.renderBlock(out.data(), 1024);
            blocks.fetch_add(1);
        }
    });
    // On a loaded machine the rounds below can end before the mixer is first
    // scheduled; they only test the lock once the mixer is really rendering.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (blocks.load() == 0 && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    exerciseFromTheMainThread(engine, shortSound, longSound, 600);
    stop.store(true);
    mixer.join();
    EXPECT_GT(blocks.load(), 0);

    engine.stopEverything();
    removeEngineLock(engine);
}

TEST(EngineThreads, DemoCallsAgainstTheSilentOutput) {
    Wav soundtrack;
    audiotest::fillWav(soundtrack, std::vector<float>(2 * 9000, 0.1f), 2, 44100.0f);
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendSilent), Success);
    const VoiceHandle music = engine.startVoice(soundtrack, -1.0f, 0.0f);
    engine.setChannelVolumes(music, 1.0f, 1.0f);
    bool alive = true;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (alive && std::chrono::steady_clock::now() < limit) {
        engine.acquireLock();
        alive = engine.voiceForHandle(music) != nullptr;
        engine.releaseLock();
    }
    EXPECT_FALSE(alive);
    engine.shutdown();
}
