// The one binding between a backend and the engine, with a backend of the
// test's own: what binding sets and unbinding gives back, a failed open,
// and the one line a run's trouble comes to.
#include <gtest/gtest.h>

#include <string>

#include "audio/output.h"
#include "tests/audio/audio_support.h"

using namespace Aurix;
using audiotest::expectNoBackend;

namespace {

int releases = 0;

struct FakeOutput : BoundOutput {
    using BoundOutput::BoundOutput;
    uint64_t given = 0;
};

void releaseFake(BoundOutput& bound) {
    ++releases;
    unbindOutput(bound);
    delete static_cast<FakeOutput*>(&bound);
}

bool fakePosition(BoundOutput& bound, OutputPosition& position) {
    position.framesGiven = static_cast<FakeOutput&>(bound).given;
    position.framesHeld = 0;
    return true;
}

constexpr OutputBackend Threaded{"Fake", "Fake \"dev\"", true, releaseFake, fakePosition};
constexpr OutputBackend Threadless{"Page", "Page", false, releaseFake, nullptr};

class OutputBinding : public testing::Test {
protected:
    void SetUp() override { releases = 0; }
    AudioEngine engine;
};

TEST_F(OutputBinding, BindsEveryFieldOnceAndCloseGivesThemBack) {
    auto* output = new FakeOutput(engine, Threaded);
    ASSERT_TRUE(bindOutput(*output, 44100, 4096));
    EXPECT_EQ(engine.backendState, output);
    EXPECT_EQ(engine.backendShutdownHook, &closeOutput);
    EXPECT_NE(engine.mutexHandle, nullptr);
    EXPECT_EQ(engine.acquireHook, &enterMutex);
    EXPECT_EQ(engine.releaseHook, &leaveMutex);
    EXPECT_STREQ(engine.backendName, "Fake");
    // Channels x block frames, whichever backend it is.
    EXPECT_EQ(engine.sampleRate, 44100u);
    EXPECT_EQ(engine.bufferFrames, 8192u);

    // The position hook asks the backend's own answer.
    Wav tone;
    audiotest::fillWav(tone, std::vector<float>(8192, 0.5f), 1, 44100.0f);
    const VoiceHandle voice = engine.startVoice(tone, -1.0f, 0.0f);
    std::vector<float> out(2 * 4096);
    engine.renderBlock(out.data(), 4096);
    output->given = 3000;
    const HeardFrame heard = engine.heardFrame(voice);
    EXPECT_EQ(heard.status, HeardFrame::Heard);
    EXPECT_EQ(heard.frame, 3000);
    EXPECT_EQ(engine.outputReport(), "");

    engine.shutdown();
    EXPECT_EQ(releases, 1);
    expectNoBackend(engine);
    EXPECT_EQ(engine.backendPositionHook, nullptr);
    EXPECT_EQ(engine.backendName, nullptr);
    closeOutput(engine);  // nothing left to close
    EXPECT_EQ(releases, 1);
}

TEST_F(OutputBinding, AThreadlessOutputHasNoLockAndNoPositionWhenItCannotTell) {
    auto* output = new FakeOutput(engine, Threadless);
    ASSERT_TRUE(bindOutput(*output, 44100, 4096));
    EXPECT_EQ(engine.mutexHandle, nullptr);
    EXPECT_EQ(engine.acquireHook, nullptr);
    EXPECT_EQ(engine.backendPositionHook, nullptr);
    EXPECT_EQ(engine.bufferFrames, 8192u);
    closeOutput(engine);
    EXPECT_EQ(releases, 1);
    expectNoBackend(engine);
}

TEST_F(OutputBinding, AFailedOpenReleasesOnceAndSaysWhy) {
    // Before binding (the device would not open) and after (no thread).
    auto* unbound = new FakeOutput(engine, Threaded);
    EXPECT_EQ(failOutput(*unbound, "Fake \"dev\": Host is down"), GeneralFailure);
    EXPECT_EQ(releases, 1);
    expectNoBackend(engine);
    EXPECT_EQ(engine.outputNote(), "Fake \"dev\": Host is down");
    EXPECT_EQ(engine.outputReport(), "no sound: Fake \"dev\": Host is down");

    auto* bound = new FakeOutput(engine, Threaded);
    ASSERT_TRUE(bindOutput(*bound, 44100, 4096));
    EXPECT_EQ(failOutput(*bound, "cannot start the mixing thread"), GeneralFailure);
    EXPECT_EQ(releases, 2);
    expectNoBackend(engine);
    EXPECT_EQ(engine.backendName, nullptr);
}

TEST_F(OutputBinding, TroubleWhilePlayingComesToOneLine) {
    auto* output = new FakeOutput(engine, Threaded);
    ASSERT_TRUE(bindOutput(*output, 44100, 4096));
    output->underruns.store(1);
    EXPECT_EQ(engine.outputReport(), "sound broke up: Fake \"dev\": 1 underrun");
    output->underruns.store(3);
    EXPECT_EQ(engine.outputReport(), "sound broke up: Fake \"dev\": 3 underruns");
    // Giving up outweighs the underruns; the first reason is the one told.
    outputGaveUp(*output, "Fake \"dev\": No such device while playing");
    outputGaveUp(*output, "a second reason");
    EXPECT_EQ(engine.outputReport(), "no sound: Fake \"dev\": No such device while playing (played silently)");
    closeOutput(engine);

    // Silence asked for is no trouble.
    ASSERT_EQ(engine.start(BackendSilent), Success);
    EXPECT_EQ(engine.outputReport(), "");
    engine.shutdown();
}

}  // namespace
