// The device output on Linux: ALSA's "default" PCM (which reaches PipeWire or
// PulseAudio where they run), 16-bit stereo at 44 100 Hz, two periods of 4096
// frames. The mixing thread renders a block, converts it and writes it;
// underruns are recovered and counted. A device that fails for good, or that
// takes the sound faster than it can be played (ALSA's null plugin swallows
// it all at once), is given up: silent pacing takes over, so the voices keep
// the system clock. The main thread may ask where the device is
// (snd_pcm_delay); a small lock keeps that answer and the count of frames
// written in step.
#include <alsa/asoundlib.h>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "audio/output.h"
#include "audio/process_signals_posix.h"

namespace Aurix {

namespace {

constexpr const char* DeviceName = "default";
constexpr const char* DeviceLabel = "ALSA \"default\"";  // in messages
constexpr int WaitMilliseconds = 100;  // how long the thread sleeps on the device before looking for a stop
constexpr uint32_t PacedInFlight = 2;  // blocks in flight once paced silently, as on the device

struct AlsaOutput : BoundOutput {
    using BoundOutput::BoundOutput;
    snd_pcm_t* pcm = nullptr;
    float* mixBuffer = nullptr;
    int16_t* block = nullptr;
    uint32_t blockFrames = 0;
    uint32_t rate = 0;
    uint64_t bufferFrames = 0;  // what the device holds when full, as granted
    StopSignal* stop = nullptr;
    ThreadHandle* thread = nullptr;
    void* positionLock = nullptr;  // held around each write, never while waiting
    uint64_t framesGiven = 0;      // frames the device accepted; under positionLock
    SilentClock* clock = nullptr;  // the pacing's, once the device is given up
    std::atomic<bool> pacedSilently{false};
};

// ALSA's own messages would land in the middle of the demo's picture; the
// reason for a fallback is kept in the engine's outputNote instead.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

// `call` is left out for the open, whose failure needs no more than its reason.
std::string describe(const char* call, int error) {
    std::string text = std::string(DeviceLabel) + ": ";
    if (call != nullptr) text += std::string(call) + ": ";
    return text + snd_strerror(error);
}

// Writes one converted block; false when the stop came first or the device is gone for good.
bool writeBlock(AlsaOutput& output) {
    uint32_t done = 0;
    while (done < output.blockFrames) {
        if (stopRaised(output.stop)) return false;
        snd_pcm_sframes_t written;
        {
            MutexScope position(output.positionLock);
            written = snd_pcm_writei(output.pcm, output.block + 2 * size_t(done), output.blockFrames - done);
            if (written >= 0) output.framesGiven += uint64_t(written);
        }
        if (written >= 0) {
            done += uint32_t(written);
            continue;
        }
        if (written == -EAGAIN) {
            snd_pcm_wait(output.pcm, WaitMilliseconds);
            continue;
        }
        if (written == -EPIPE || written == -ESTRPIPE) output.underruns.fetch_add(1, std::memory_order_relaxed);
        int recovered;
        {
            MutexScope position(output.positionLock);
            recovered = snd_pcm_recover(output.pcm, int(written), 1);
        }
        if (recovered < 0) {
            outputGaveUp(output, describe(nullptr, int(written)) + " while playing");
            return false;
        }
    }
    return true;
}

// Watches the frames the device takes against the monotonic clock. Each
// window closes once a second of sound beyond the device's buffer has been
// taken; a device that took it in less than half a second is not playing it.
class PaceWatch {
public:
    PaceWatch(uint32_t rate, uint64_t bufferFrames) : rate_(rate), slack_(bufferFrames) {}

    // After each block: true once the device runs more than twice as fast as time.
    bool tooFast(uint64_t framesGiven, uint64_t now) {
        const uint64_t taken = framesGiven - windowFrames_;
        if (taken < rate_ + slack_) return false;
        const uint64_t elapsed = now - windowStart_;
        if (2 * elapsed * rate_ / 1000000000u < taken - slack_) {
            lastTaken_ = taken;
            lastElapsed_ = elapsed;
            return true;
        }
        windowStart_ = now;
        windowFrames_ = framesGiven;
        return false;
    }

    std::string what() const {
        char text[96];
        std::snprintf(text, sizeof text, "took %.1f s of sound in %.1f s, faster than it can be played",
                      double(lastTaken_) / rate_, double(lastElapsed_) / 1e9);
        return text;
    }

private:
    uint32_t rate_;
    uint64_t slack_;
    uint64_t windowStart_ = monotonicNanoseconds();
    uint64_t windowFrames_ = 0;
    uint64_t lastTaken_ = 0;
    uint64_t lastElapsed_ = 0;
};

void alsaMixLoop(void* state) {
    auto& output = *static_cast<AlsaOutput*>(state);
    const size_t samples = 2 * size_t(output.blockFrames);
    PaceWatch watch(output.rate, output.bufferFrames);
    bool playing = true;
    while (playing && !stopRaised(output.stop)) {
        output.engine.renderBlock(output.mixBuffer, output.blockFrames);
        for (size_t i = 0; i < samples; ++i) output.block[i] = toPcm16(output.mixBuffer[i]);
        playing = writeBlock(output);
        // framesGiven is written by this thread alone.
        if (playing && watch.tooFast(output.framesGiven, monotonicNanoseconds())) {
            outputGaveUp(output, std::string(output.backend.device) + ": " + watch.what());
            playing = false;
        }
    }
    if (!output.gaveUp.load(std::memory_order_acquire)) return;
    // What the device took counts as given: the pacing goes on from there.
    {
        MutexScope position(output.positionLock);
        snd_pcm_drop(output.pcm);
    }
    output.pacedSilently.store(true, std::memory_order_release);
    paceSilently(output.engine, output.mixBuffer, output.blockFrames, output.rate, output.stop, PacedInFlight,
                 output.clock, output.framesGiven);
}

// Known only while the device plays: before its start threshold, during an
// underrun's recovery or after it was given up, the delay says nothing of
// what is heard; once paced silently, the pacing's clock answers.
bool alsaPosition(BoundOutput& bound, OutputPosition& position) {
    auto& output = static_cast<AlsaOutput&>(bound);
    if (output.pacedSilently.load(std::memory_order_acquire))
        return silentPosition(*output.clock, monotonicNanoseconds(), position);
    if (output.gaveUp.load(std::memory_order_acquire)) return false;
    MutexScope lock(output.positionLock);
    if (snd_pcm_state(output.pcm) != SND_PCM_STATE_RUNNING) return false;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(output.pcm, &delay) < 0) return false;
    position.framesGiven = output.framesGiven;
    position.framesHeld = delay > 0 ? uint64_t(delay) : 0;
    return true;
}

// Releases what exists, newest first; used by a failed open and by close.
void releaseAlsa(BoundOutput& bound) {
    auto* output = static_cast<AlsaOutput*>(&bound);
    if (output->thread != nullptr) {
        raiseStopSignal(output->stop);
        joinThread(output->thread);
    }
    unbindOutput(*output);
    if (output->pcm != nullptr) {
        snd_pcm_drop(output->pcm);
        snd_pcm_close(output->pcm);
    }
    destroySilentClock(output->clock);
    destroyMutex(output->positionLock);
    destroyStopSignal(output->stop);
    delete[] output->block;
    delete[] output->mixBuffer;
    delete output;
}

constexpr OutputBackend Alsa{"ALSA", DeviceLabel, true, releaseAlsa, alsaPosition};

// Rate first, then period and buffer with the "near" setters; reads back
// what was granted. The reason it failed, or "".
std::string configureDevice(AlsaOutput& output) {
    snd_pcm_t* pcm = output.pcm;
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    int error = snd_pcm_hw_params_any(pcm, hw);
    if (error < 0) return describe("snd_pcm_hw_params_any", error);
    if ((error = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return describe("snd_pcm_hw_params_set_access", error);
    if ((error = snd_pcm_hw_params_set_format(pcm, hw, SND_PCM_FORMAT_S16_LE)) < 0)
        return describe("snd_pcm_hw_params_set_format", error);
    if ((error = snd_pcm_hw_params_set_channels(pcm, hw, 2)) < 0)
        return describe("snd_pcm_hw_params_set_channels", error);
    unsigned int grantedRate = output.rate;
    if ((error = snd_pcm_hw_params_set_rate_near(pcm, hw, &grantedRate, nullptr)) < 0)
        return describe("snd_pcm_hw_params_set_rate_near", error);
    // The mix is made for 44 100 Hz; another rate would play it at the wrong speed.
    if (grantedRate != output.rate) return describe("snd_pcm_hw_params_set_rate_near", -EINVAL);
    snd_pcm_uframes_t period = output.blockFrames;
    if ((error = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, nullptr)) < 0)
        return describe("snd_pcm_hw_params_set_period_size_near", error);
    snd_pcm_uframes_t buffer = 2 * snd_pcm_uframes_t(output.blockFrames);
    if ((error = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &buffer)) < 0)
        return describe("snd_pcm_hw_params_set_buffer_size_near", error);
    if ((error = snd_pcm_hw_params(pcm, hw)) < 0) return describe("snd_pcm_hw_params", error);
    snd_pcm_hw_params_get_buffer_size(hw, &buffer);
    snd_pcm_hw_params_get_period_size(hw, &period, nullptr);
    output.bufferFrames = buffer;

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    if ((error = snd_pcm_sw_params_current(pcm, sw)) < 0) return describe("snd_pcm_sw_params_current", error);
    // Playback starts once the buffer is full: two blocks in flight from the first moment.
    snd_pcm_sw_params_set_start_threshold(pcm, sw, buffer);
    snd_pcm_sw_params_set_avail_min(pcm, sw, period);
    if ((error = snd_pcm_sw_params(pcm, sw)) < 0) return describe("snd_pcm_sw_params", error);
    // The thread waits with a time-out instead of blocking in a write, so a stop is never missed.
    if ((error = snd_pcm_nonblock(pcm, 1)) < 0) return describe("snd_pcm_nonblock", error);
    return {};
}

}  // namespace

AudioStatus openAlsa(AudioEngine& engine, uint32_t rate, uint32_t blockFrames) {
    snd_lib_error_set_handler(quietErrorHandler);
    auto* output = new AlsaOutput(engine, Alsa);
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
        return failOutput(*output, describe(nullptr, error));
    }
    if (std::string problem = configureDevice(*output); !problem.empty()) return failOutput(*output, problem);
    output->stop = createStopSignal();
    if (output->stop == nullptr) return failOutput(*output, "cannot make the mixing thread's stop signal");
    output->positionLock = createMutex();
    output->clock = createSilentClock(blockFrames, rate, PacedInFlight);
    if (output->positionLock == nullptr || output->clock == nullptr)
        return failOutput(*output, "cannot make the device position's mutex");
    output->mixBuffer = new float[2 * size_t(blockFrames)]();
    output->block = new int16_t[2 * size_t(blockFrames)]();
    if (!bindOutput(*output, rate, blockFrames)) return GeneralFailure;
    output->thread = startThread(alsaMixLoop, output);
    if (output->thread == nullptr) return failOutput(*output, "cannot start the mixing thread");
    return Success;
}

}  // namespace Aurix
