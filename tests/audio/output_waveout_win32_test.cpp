// The waveOut backend. Where the machine has a wave output device the open
// backend is checked while it plays; where it has none (Wine without a sound
// driver, a server without audio) the failed open is checked to leave nothing
// behind and start(0) to fall back to the silent output.
#include <gtest/gtest.h>

#include <windows.h>
// mmsystem.h needs the types windows.h declares, so it comes second.
#include <mmsystem.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "audio/output.h"
#include "tests/audio/audio_support.h"

namespace {

using namespace Aurix;
using audiotest::expectNoBackend;

bool haveDevice() {
    return waveOutGetNumDevs() > 0;
}

TEST(WaveOut, CloseWithoutAnOpenBackendDoesNothing) {
    AudioEngine engine;
    closeOutput(engine);
    expectNoBackend(engine);
    EXPECT_EQ(engine.backendName, nullptr);
}

TEST(WaveOut, OpenEitherRunsTheDeviceOrReleasesEverythingItMade) {
    AudioEngine engine;
    const AudioStatus status = openWaveOut(engine, 44100, 4096);
    if (!haveDevice()) {
        EXPECT_EQ(status, GeneralFailure);
        expectNoBackend(engine);
        EXPECT_EQ(engine.backendName, nullptr);
        EXPECT_NE(engine.outputNote().find("waveOutOpen"), std::string::npos) << engine.outputNote();
        return;
    }
    ASSERT_EQ(status, Success) << engine.outputNote();
    EXPECT_STREQ(engine.backendName, "WinMM");
    EXPECT_NE(engine.backendState, nullptr);
    EXPECT_NE(engine.mutexHandle, nullptr);
    EXPECT_EQ(engine.acquireHook, &enterMutex);
    EXPECT_EQ(engine.releaseHook, &leaveMutex);
    EXPECT_EQ(engine.backendShutdownHook, &closeOutput);
    EXPECT_EQ(engine.sampleRate, 44100u);
    EXPECT_EQ(engine.bufferFrames, 8192u);
    // Two blocks are rendered at once, then one per block the device hands back.
    const DWORD until = GetTickCount() + 2000;
    double rendered = 0.0;
    while (GetTickCount() < until && rendered < 0.4) {
        Sleep(20);
        engine.acquireLock();
        rendered = engine.streamSeconds;
        engine.releaseLock();
    }
    EXPECT_GE(rendered, 0.4) << "the mixing thread did not keep pulling blocks";
    closeOutput(engine);
    expectNoBackend(engine);
}

TEST(WaveOut, StartZeroTakesTheDeviceOrFallsBackToSilence) {
    AudioEngine engine;
    ASSERT_EQ(engine.start(BackendAuto), Success) << engine.outputNote();
    if (haveDevice()) {
        EXPECT_STREQ(engine.backendName, "WinMM");
        EXPECT_EQ(engine.backendKind, uint32_t(BackendWaveOut));
    } else {
        EXPECT_STREQ(engine.backendName, "Silent");
        EXPECT_EQ(engine.backendKind, uint32_t(BackendSilent));
        EXPECT_EQ(engine.start(BackendWaveOut), GeneralFailure);
        expectNoBackend(engine);
    }
    engine.shutdown();
    expectNoBackend(engine);
}

// A handle left open by an open/close pair takes a slot of the process's
// handle table for good. Freed slots are handed out again, so after filling
// every free slot with probe events the highest probe stays where it was as
// long as nothing leaks, give or take a handle or two that the system's own
// threads hold for a moment. (Measured this way because GetProcessHandleCount
// reports 0 under Wine.)
uintptr_t highestHandleAfterOpenAndClose() {
    AudioEngine engine;
    openWaveOut(engine, 44100, 4096);
    closeOutput(engine);
    expectNoBackend(engine);
    HANDLE probes[64];
    uintptr_t highest = 0;
    for (HANDLE& probe : probes) {
        probe = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        highest = std::max(highest, reinterpret_cast<uintptr_t>(probe));
    }
    for (HANDLE probe : probes) CloseHandle(probe);
    return highest;
}

TEST(WaveOut, RepeatedOpenAndCloseLeaksNoHandles) {
    highestHandleAfterOpenAndClose();  // the first open may make handles the system keeps
    const uintptr_t first = highestHandleAfterOpenAndClose();
    ASSERT_NE(first, 0u);
    uintptr_t highest = first;
    for (int i = 0; i < 20; ++i) highest = std::max(highest, highestHandleAfterOpenAndClose());
    // Handle values step by 4; one leaked handle per pair would add 80.
    EXPECT_LE(highest, first + 4 * 4) << "handles left open by openWaveOut/closeWaveOut";
}

}  // namespace
