// The one place that decides which output backend a start selector means,
// and the engine-lock set-up every backend shares.
#include "audio/output.h"

namespace Aurix {

namespace {

using OpenBackend = AudioStatus (*)(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);

// The platform's sound device backend, or none.
OpenBackend deviceBackend() {
#if defined(__EMSCRIPTEN__)
    return openWebAudio;
#elif defined(_WIN32)
    return openWaveOut;
#elif defined(AURIX_HAVE_ALSA)
    return openAlsa;
#else
    return nullptr;
#endif
}

AudioStatus openDevice(AudioEngine& engine) {
    const OpenBackend open = deviceBackend();
    if (open == nullptr) {
        engine.outputMessage = "no sound device backend on this platform";
        return GeneralFailure;
    }
    const AudioStatus status = open(engine, AudioEngine::OutputRate, AudioEngine::DeviceBlockFrames);
    if (status == Success) engine.backendKind = BackendWaveOut;
    return status;
}

AudioStatus openSilentOutput(AudioEngine& engine) {
    const AudioStatus status = openSilent(engine, AudioEngine::OutputRate, AudioEngine::DeviceBlockFrames);
    if (status == Success) engine.backendKind = BackendSilent;
    return status;
}

}  // namespace

AudioStatus openOutput(AudioEngine& engine, uint32_t selector) {
    engine.outputMessage.clear();
    switch (selector) {
    case BackendAuto:
        // No device is no reason to stop: the silent output keeps the music's clock.
        if (openDevice(engine) == Success) return Success;
        if (openSilentOutput(engine) == Success) return Success;
        return GeneralFailure;
    case BackendWaveOut:
        return openDevice(engine);
    case BackendSilent:
        return openSilentOutput(engine);
    default:
        return Unsupported;
    }
}

bool installEngineLock(AudioEngine& engine) {
    void* mutex = createMutex();
    if (mutex == nullptr) return false;
    engine.mutexHandle = mutex;
    engine.acquireHook = enterMutex;
    engine.releaseHook = leaveMutex;
    return true;
}

void removeEngineLock(AudioEngine& engine) {
    void* mutex = engine.mutexHandle;
    engine.acquireHook = nullptr;
    engine.releaseHook = nullptr;
    engine.mutexHandle = nullptr;
    destroyMutex(mutex);
}

}  // namespace Aurix
