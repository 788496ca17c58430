// The silent output: no device. A thread pulls renderBlock at the pace a
// device would and drops the blocks, so voices advance in real time and a
// soundtrack ends when it would have been heard to end.
#include <algorithm>

#include "audio/output.h"

namespace Aurix {

namespace {

struct SilentOutput {
    AudioEngine* engine = nullptr;
    float* mixBuffer = nullptr;
    uint32_t blockFrames = 0;
    uint32_t rate = 0;
    StopSignal* stop = nullptr;
    ThreadHandle* thread = nullptr;
    bool lockInstalled = false;
};

void silentMixLoop(void* state) {
    auto* output = static_cast<SilentOutput*>(state);
    paceSilently(*output->engine, output->mixBuffer, output->blockFrames, output->rate, output->stop, 2);
}

// Releases what exists, newest first; used by a failed open and by close.
void release(AudioEngine& engine, SilentOutput* output) {
    if (output->thread != nullptr) {
        raiseStopSignal(output->stop);
        joinThread(output->thread);
        output->thread = nullptr;
    }
    if (output->lockInstalled) removeEngineLock(engine);
    destroyStopSignal(output->stop);
    delete[] output->mixBuffer;
    delete output;
    engine.backendState = nullptr;
    engine.backendShutdownHook = nullptr;
}

}  // namespace

void paceSilently(AudioEngine& engine, float* mixBuffer, uint32_t blockFrames, uint32_t rate, StopSignal* stop,
                  uint32_t inFlight) {
    const uint64_t start = monotonicNanoseconds();
    for (uint64_t block = 0;; ++block) {
        const uint64_t played = block + 1 > inFlight ? block + 1 - inFlight : 0;
        // From the start each time, so the pace never drifts.
        const uint64_t due = start + played * blockFrames * 1000000000u / rate;
        if (waitForStop(stop, due)) return;
        engine.renderBlock(mixBuffer, blockFrames);
    }
}

AudioStatus openSilent(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    auto* output = new SilentOutput;
    engine.backendState = output;
    engine.backendShutdownHook = closeSilent;
    output->engine = &engine;
    output->blockFrames = blockFrames;
    output->rate = rate;
    output->stop = createStopSignal();
    if (output->stop == nullptr) {
        release(engine, output);
        return GeneralFailure;
    }
    output->mixBuffer = new float[2 * size_t(blockFrames)]();
    output->lockInstalled = installEngineLock(engine);
    if (!output->lockInstalled) {
        release(engine, output);
        return GeneralFailure;
    }
    engine.configureOutput(rate, 2 * blockFrames);
    output->thread = startThread(silentMixLoop, output);
    if (output->thread == nullptr) {
        release(engine, output);
        return GeneralFailure;
    }
    engine.backendName = "Silent";
    return Success;
}

void closeSilent(AudioEngine& engine) {
    if (engine.backendState == nullptr) return;
    release(engine, static_cast<SilentOutput*>(engine.backendState));
}

}  // namespace Aurix
