// Which sample of a voice is being heard: the engine's count of rendered
// frames against an output's answer (a fake one here, the silent output's
// clock below), and the silent output going on from where it stood after
// its thread was held up.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "audio/aurix.h"
#include "audio/output.h"
#include "tests/audio/audio_support.h"

using namespace Aurix;

namespace {

constexpr uint32_t Block = 4096;

// What the fake device answers; `playing` false: not started.
struct FakeDevice {
    bool playing = true;
    uint64_t given = 0;
    uint64_t held = 0;
};
FakeDevice fakeDevice;

bool fakePosition(AudioEngine&, OutputPosition& position) {
    if (!fakeDevice.playing) return false;
    position.framesGiven = fakeDevice.given;
    position.framesHeld = fakeDevice.held;
    return true;
}

struct FakeOutputEngine : AudioEngine {
    FakeOutputEngine() {
        configureOutput(44100, 2 * Block);
        backendPositionHook = fakePosition;
        fakeDevice = {};
        audiotest::fillWav(tone, std::vector<float>(10 * Block, 0.5f), 1, 44100.0f);
    }
    void render() { renderBlock(out.data(), Block); }
    Wav tone;
    std::vector<float> out = std::vector<float>(2 * Block);
};

TEST(HeardFrame, RenderedLessHeldCountedFromTheVoicesFirstBlock) {
    FakeOutputEngine engine;
    engine.render();  // one block of nothing before the voice starts
    const VoiceHandle voice = engine.startVoice(engine.tone, -1.0f, 0.0f);
    EXPECT_EQ(engine.heardFrame(voice).status, HeardFrame::NotYet);  // not rendered yet

    engine.render();
    engine.render();
    // The device took the first block only: the voice's first block is not with it.
    fakeDevice.given = Block;
    EXPECT_EQ(engine.heardFrame(voice).status, HeardFrame::NotYet);

    // Both of the voice's blocks given, all but 1000 frames of them still held:
    // its first frames are queued, 1000 frames ahead of what is heard.
    fakeDevice.given = 3 * Block;
    fakeDevice.held = 2 * Block + 1000;
    HeardFrame heard = engine.heardFrame(voice);
    EXPECT_EQ(heard.status, HeardFrame::Heard);
    EXPECT_EQ(heard.frame, -1000);

    fakeDevice.held = 1000;
    heard = engine.heardFrame(voice);
    EXPECT_EQ(heard.status, HeardFrame::Heard);
    EXPECT_EQ(heard.frame, int64_t(2 * Block - 1000));

    // A device that claims to hold more than it was given has heard nothing yet.
    fakeDevice.held = 10 * Block;
    EXPECT_EQ(engine.heardFrame(voice).frame, -int64_t(Block));

    fakeDevice.playing = false;  // recovering from an underrun
    EXPECT_EQ(engine.heardFrame(voice).status, HeardFrame::NotYet);
}

TEST(HeardFrame, UnknownWithoutAnAnswerOrAVoice) {
    FakeOutputEngine engine;
    const VoiceHandle voice = engine.startVoice(engine.tone, -1.0f, 0.0f);
    engine.render();
    fakeDevice.given = Block;
    EXPECT_EQ(engine.heardFrame(voice).status, HeardFrame::Heard);
    EXPECT_EQ(engine.heardFrame(voice + 1).status, HeardFrame::Unknown);
    EXPECT_EQ(engine.heardFrame(0).status, HeardFrame::Unknown);
    engine.backendPositionHook = nullptr;  // an output that cannot tell (waveOut)
    EXPECT_EQ(engine.heardFrame(voice).status, HeardFrame::Unknown);
}

TEST(HeardFrame, ConfigurationStartsTheCountAgain) {
    FakeOutputEngine engine;
    engine.render();
    engine.configureOutput(44100, 2 * Block);  // a new device counts from 0
    const VoiceHandle voice = engine.startVoice(engine.tone, -1.0f, 0.0f);
    engine.render();
    fakeDevice.given = Block;
    fakeDevice.held = Block - 10;
    EXPECT_EQ(engine.heardFrame(voice).frame, 10);
}

constexpr uint64_t Second = 1000000000u;
constexpr uint64_t BlockNanoseconds = (uint64_t(Block) * Second + 44099) / 44100;  // 92.88 ms, rounded up

TEST(SilentClock, HeardFollowsTheClockAndHoldsWhatIsAhead) {
    SilentClock* clock = createSilentClock(Block, 44100, 2);
    OutputPosition position;
    EXPECT_FALSE(silentPosition(*clock, 5 * Second, position));  // nothing given yet

    // Two blocks given at once, frame 0 heard at 5 s.
    const uint64_t start = 5 * Second;
    silentClockGave(*clock, start, 0, 2);
    ASSERT_TRUE(silentPosition(*clock, start, position));
    EXPECT_EQ(position.framesGiven, 2u * Block);
    EXPECT_EQ(position.framesHeld, 2u * Block);
    ASSERT_TRUE(silentPosition(*clock, start + Second / 20, position));  // 50 ms: 2205 frames heard
    EXPECT_EQ(position.framesHeld, 2u * Block - 2205);

    silentClockGave(*clock, start, 0, 3);  // block 2, given when block 0 had been heard
    ASSERT_TRUE(silentPosition(*clock, start + BlockNanoseconds + Second / 100, position));
    EXPECT_EQ(position.framesGiven, 3u * Block);
    EXPECT_EQ(position.framesHeld, 3u * Block - Block - 441);
    destroySilentClock(clock);
}

TEST(SilentClock, AThreadFarBehindItsTimeHasNoPosition) {
    SilentClock* clock = createSilentClock(Block, 44100, 2);
    OutputPosition position;
    const uint64_t start = Second;
    silentClockGave(*clock, start, 0, 3);
    // Block 3 was due at 2 block times; a whole block past that, the
    // thread was stopped and the clock does not run on without it.
    EXPECT_TRUE(silentPosition(*clock, start + 3 * BlockNanoseconds - 1000, position));
    EXPECT_FALSE(silentPosition(*clock, start + 3 * BlockNanoseconds + 1000, position));
    // Woken, it moved its start on by the time it stood: from where it stood.
    const uint64_t stood = 10 * Second;
    silentClockGave(*clock, start + stood, 0, 4);
    ASSERT_TRUE(silentPosition(*clock, start + stood + 2 * BlockNanoseconds, position));
    EXPECT_EQ(position.framesGiven - position.framesHeld, 2u * Block);
    destroySilentClock(clock);
}

// The frames the engine has rendered, read under its lock.
uint64_t renderedFrames(const AudioEngine& engine) {
    engine.acquireLock();
    const uint64_t frames = engine.framesRendered;
    engine.releaseLock();
    return frames;
}

TEST(SilentOutput, AHeldUpThreadGoesOnWithoutCatchingUp) {
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendSilent), Success);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    // The pacing thread stands still for 600 ms (about 6.5 block times), as
    // in a stopped process.
    engine.acquireLock();
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    const uint64_t before = engine.framesRendered;
    engine.releaseLock();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    // The block it was rendering, maybe one more; not the six it missed.
    EXPECT_LE(renderedFrames(engine) - before, 2u * Block);
    engine.shutdown();
}

TEST(SilentOutput, TheSoundtracksFirstFrameIsHeardOnceItsBlockIsPlayed) {
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendSilent), Success);
    Wav tone;
    audiotest::fillWav(tone, std::vector<float>(44100, 0.5f), 1, 44100.0f);
    const VoiceHandle voice = engine.startVoice(tone, -1.0f, 0.0f);
    HeardFrame heard;
    for (int i = 0; i < 100 && heard.status != HeardFrame::Heard; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        heard = engine.heardFrame(voice);
    }
    ASSERT_EQ(heard.status, HeardFrame::Heard);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const HeardFrame later = engine.heardFrame(voice);
    ASSERT_EQ(later.status, HeardFrame::Heard);
    // The position moves on with the clock, never past what was rendered.
    EXPECT_GT(later.frame, heard.frame);
    EXPECT_LE(later.frame, int64_t(renderedFrames(engine)));
    engine.shutdown();
}

}  // namespace
