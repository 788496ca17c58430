// The one place that decides which output backend a start selector means,
// and the binding every backend goes through (see output.h).
#include <utility>

#include "audio/output.h"

namespace Aurix {

namespace {

using OpenBackend = AudioStatus (*)(AudioEngine& engine, uint32_t rate, uint32_t blockFrames);

constexpr uint32_t OutputChannels = 2;

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

BoundOutput* boundOutput(const AudioEngine& engine) {
    return static_cast<BoundOutput*>(engine.backendState);
}

bool boundPosition(AudioEngine& engine, OutputPosition& position) {
    BoundOutput& output = *boundOutput(engine);
    return output.backend.position(output, position);
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

void closeOutput(AudioEngine& engine) {
    if (BoundOutput* output = boundOutput(engine)) output->backend.release(*output);
}

bool bindOutput(BoundOutput& output, uint32_t rate, uint32_t blockFrames) {
    AudioEngine& engine = output.engine;
    if (output.backend.mixingThread && !installEngineLock(engine)) {
        failOutput(output, "cannot make the engine mutex");
        return false;
    }
    engine.backendState = &output;
    engine.backendShutdownHook = closeOutput;
    engine.backendPositionHook = output.backend.position != nullptr ? boundPosition : nullptr;
    engine.backendName = output.backend.name;
    engine.configureOutput(rate, OutputChannels * blockFrames);
    return true;
}

void unbindOutput(BoundOutput& output) {
    AudioEngine& engine = output.engine;
    if (engine.backendState != &output) return;
    if (engine.mutexHandle != nullptr) removeEngineLock(engine);
    engine.backendState = nullptr;
    engine.backendShutdownHook = nullptr;
    engine.backendPositionHook = nullptr;
    engine.backendName = nullptr;
    engine.backendKind = 0;
}

AudioStatus failOutput(BoundOutput& output, std::string why) {
    output.engine.outputMessage = std::move(why);
    output.backend.release(output);
    return GeneralFailure;
}

void outputGaveUp(BoundOutput& output, std::string why) {
    if (output.gaveUp.load(std::memory_order_acquire)) return;
    output.whyGaveUp = std::move(why);
    output.gaveUp.store(true, std::memory_order_release);
}

std::string AudioEngine::outputReport() const {
    const BoundOutput* output = boundOutput(*this);
    if (output != nullptr && output->gaveUp.load(std::memory_order_acquire))
        return "no sound: " + output->whyGaveUp + " (played silently)";
    // A device that could not be opened: the silent output stood in, or nothing did.
    if (!outputMessage.empty())
        return "no sound: " + outputMessage + (backendKind == BackendSilent ? " (played silently)" : "");
    if (output == nullptr) return {};
    const uint32_t underruns = output->underruns.load(std::memory_order_relaxed);
    if (underruns == 0) return {};
    return std::string("sound broke up: ") + output->backend.device + ": " + std::to_string(underruns) +
           (underruns == 1 ? " underrun" : " underruns");
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
