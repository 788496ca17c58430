// The device output on Linux: ALSA's "default" PCM (which reaches PipeWire or
// PulseAudio where they run), 16-bit stereo at 44 100 Hz, two periods of 4096
// frames. The mixing thread renders a block, converts it and writes it;
// underruns are recovered and counted, and a device that fails for good
// hands over to silent pacing so the voices keep their clock. The main
// thread may ask where the device is (snd_pcm_delay); a small lock keeps
// that answer and the count of frames written in step.
#include <alsa/asoundlib.h>
#include <atomic>
#include <cerrno>
#include <mutex>
#include <string>

#include "audio/output.h"
#include "audio/process_signals_posix.h"

namespace Aurix {

namespace {

constexpr const char* DeviceName = "default";
constexpr int WaitMilliseconds = 100;  // how long the thread sleeps on the device before looking for a stop

struct AlsaOutput {
    AudioEngine* engine = nullptr;
    snd_pcm_t* pcm = nullptr;
    float* mixBuffer = nullptr;
    int16_t* block = nullptr;
    uint32_t blockFrames = 0;
    uint32_t rate = 0;
    StopSignal* stop = nullptr;
    ThreadHandle* thread = nullptr;
    bool lockInstalled = false;
    std::atomic<uint32_t> underruns{0};
    std::atomic<bool> deviceLost{false};
    std::mutex positionLock;   // held around each write, never while waiting
    uint64_t framesGiven = 0;  // frames the device accepted; under positionLock
};

// ALSA's own messages would land in the middle of the demo's picture; the
// reason for a fallback is kept in the engine's outputNote instead.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

void note(AudioEngine& engine, const char* call, int error) {
    engine.outputMessage = std::string("ALSA ") + call + " on \"" + DeviceName + "\": " + snd_strerror(error);
}

// Writes one converted block; false when the stop came first or the device is gone for good.
bool writeBlock(AlsaOutput& output) {
    uint32_t done = 0;
    while (done < output.blockFrames) {
        if (stopRaised(output.stop)) return false;
        std::unique_lock<std::mutex> position(output.positionLock);
        const snd_pcm_sframes_t written =
            snd_pcm_writei(output.pcm, output.block + 2 * size_t(done), output.blockFrames - done);
        if (written >= 0) {
            output.framesGiven += uint64_t(written);
            done += uint32_t(written);
            continue;
        }
        position.unlock();
        if (written == -EAGAIN) {
            snd_pcm_wait(output.pcm, WaitMilliseconds);
            continue;
        }
        if (written == -EPIPE || written == -ESTRPIPE) output.underruns.fetch_add(1, std::memory_order_relaxed);
        position.lock();
        if (snd_pcm_recover(output.pcm, int(written), 1) < 0) {
            output.deviceLost.store(true, std::memory_order_relaxed);
            return false;
        }
    }
    return true;
}

void alsaMixLoop(void* state) {
    auto& output = *static_cast<AlsaOutput*>(state);
    const size_t samples = 2 * size_t(output.blockFrames);
    while (!stopRaised(output.stop)) {
        output.engine->renderBlock(output.mixBuffer, output.blockFrames);
        for (size_t i = 0; i < samples; ++i) output.block[i] = toPcm16(output.mixBuffer[i]);
        if (!writeBlock(output)) break;
    }
    if (output.deviceLost.load(std::memory_order_relaxed))
        paceSilently(*output.engine, output.mixBuffer, output.blockFrames, output.rate, output.stop, 0, nullptr);
}

// Known only while the device plays: before its start threshold, during an
// underrun's recovery or after it was lost, the delay says nothing of what
// is heard.
bool alsaPosition(AudioEngine& engine, OutputPosition& position) {
    auto& output = *static_cast<AlsaOutput*>(engine.backendState);
    if (output.deviceLost.load(std::memory_order_relaxed)) return false;
    std::lock_guard<std::mutex> lock(output.positionLock);
    if (snd_pcm_state(output.pcm) != SND_PCM_STATE_RUNNING) return false;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(output.pcm, &delay) < 0) return false;
    position.framesGiven = output.framesGiven;
    position.framesHeld = delay > 0 ? uint64_t(delay) : 0;
    return true;
}

// Releases what exists, newest first; used by a failed open and by close.
void release(AudioEngine& engine, AlsaOutput* output) {
    if (output->thread != nullptr) {
        raiseStopSignal(output->stop);
        joinThread(output->thread);
        output->thread = nullptr;
    }
    if (output->lockInstalled) removeEngineLock(engine);
    if (output->pcm != nullptr) {
        snd_pcm_drop(output->pcm);
        snd_pcm_close(output->pcm);
    }
    destroyStopSignal(output->stop);
    delete[] output->block;
    delete[] output->mixBuffer;
    delete output;
    engine.backendState = nullptr;
    engine.backendShutdownHook = nullptr;
    engine.backendPositionHook = nullptr;
}

// Rate first, then period and buffer with the "near" setters; reads back what was granted.
int configureDevice(AudioEngine& engine, snd_pcm_t* pcm, uint32_t rate, uint32_t blockFrames) {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int error = snd_pcm_hw_params_any(pcm, hw);
    if (error < 0) return note(engine, "snd_pcm_hw_params_any", error), error;
    if ((error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return note(engine, "snd_pcm_hw_params_set_access", error), error;
    if ((error = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0)
        return note(engine, "snd_pcm_hw_params_set_format", error), error;
    if ((error = snd_pcm_hw_params_set_channels(pcm, hw, 2)) < 0)
        return note(engine, "snd_pcm_hw_params_set_channels", error), error;
    unsigned int grantedRate = rate;
    if ((error = snd_pcm_hw_params_set_rate_near(pcm, hw, &grantedRate, nullptr)) < 0)
        return note(engine, "snd_pcm_hw_params_set_rate_near", error), error;
    // The mix is made for 44 100 Hz; another rate would play it at the wrong speed.
    if (grantedRate != rate) return note(engine, "snd_pcm_hw_params_set_rate_near", -EINVAL), -EINVAL;
    snd_pcm_uframes_t period = blockFrames;
    if ((error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0)
        return note(engine, "snd_pcm_hw_params_set_period_size_near", error), error;
    snd_pcm_uframes_t buffer = 2 * snd_pcm_uframes_t(blockFrames);
    if ((error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer)) < 0)
        return note(engine, "snd_pcm_hw_params_set_buffer_size_near", error), error;
    if ((error = snd_pcm_hw_params(pcm, hw)) < 0) return note(engine, "snd_pcm_hw_params", error), error;
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((error = snd_pcm_sw_params_current(pcm, sw)) < 0)
        return note(engine, "snd_pcm_sw_params_current", error), error;
    // Playback starts once the buffer is full: two blocks in flight from the first moment.
    snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer);
    snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if ((error = snd_pcm_sw_params(pcm, sw)) < 0) return note(engine, "snd_pcm_sw_params", error), error;
    // The thread waits with a time-out instead of blocking in a write, so a stop is never missed.
    if ((error = snd_pcm_nonblock(pcm, 1)) < 0) return note(engine, "snd_pcm_nonblock", error), error;
    return 0;
}

}  // namespace

AudioStatus openAlsa(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    snd_lib_error_set_handler(quietErrorHandler);
    auto* output = new AlsaOutput;
    engine.backendState = output;
    engine.backendShutdownHook = closeAlsa;
    output->engine = &engine;
    output->blockFrames = blockFrames;
    output->rate = rate;

    int error;
    {
        // A sound server's plugin starts its client threads here.
        ProcessSignalsHeld held;
        error = snd_pcm_open(&output->pcm, DeviceName, SND_PCM_STREAM_PLAYBACK, 0);
    }
    if (error < 0) {
        output->pcm = nullptr;
        note(engine, "snd_pcm_open", error);
        release(engine, output);
        return GeneralFailure;
    }
    if (configureDevice(engine, output->pcm, rate, blockFrames) < 0) {
        release(engine, output);
        return GeneralFailure;
    }
    output->stop = createStopSignal();
    if (output->stop == nullptr) {
        engine.outputMessage = "cannot make the mixing thread's stop signal";
        release(engine, output);
        return GeneralFailure;
    }
    output->mixBuffer = new float[2 * size_t(blockFrames)]();
    output->block = new int16_t[2 * size_t(blockFrames)]();
    output->lockInstalled = installEngineLock(engine);
    if (!output->lockInstalled) {
        engine.outputMessage = "cannot make the engine mutex";
        release(engine, output);
        return GeneralFailure;
    }
    engine.configureOutput(rate, 2 * blockFrames);
    output->thread = startThread(alsaMixLoop, output);
    if (output->thread == nullptr) {
        engine.outputMessage = "cannot start the mixing thread";
        release(engine, output);
        return GeneralFailure;
    }
    engine.backendPositionHook = alsaPosition;
    engine.backendName = "ALSA";
    return Success;
}

void closeAlsa(AudioEngine& engine) {
    if (engine.backendState == nullptr) return;
    release(engine, static_cast<AlsaOutput*>(engine.backendState));
}

}  // namespace Aurix
