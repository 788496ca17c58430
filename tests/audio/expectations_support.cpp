// Checks shared by the audio tests. Kept apart from audio_support.cpp, which
// the fuzzer's seed maker links without GoogleTest.
#include <gtest/gtest.h>

#include "tests/audio/audio_support.h"

namespace audiotest {

void expectEmpty(const Aurix::Wav& wav) {
    EXPECT_EQ(wav.data, nullptr);
    EXPECT_EQ(wav.sampleCount, 0u);
}

void expectNoBackend(const Aurix::AudioEngine& engine) {
    EXPECT_EQ(engine.backendState, nullptr);
    EXPECT_EQ(engine.backendShutdownHook, nullptr);
    EXPECT_EQ(engine.mutexHandle, nullptr);
    EXPECT_EQ(engine.acquireHook, nullptr);
    EXPECT_EQ(engine.releaseHook, nullptr);
}

}  // namespace audiotest
