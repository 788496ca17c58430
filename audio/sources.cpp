// Sources and voices: the base classes and Wav, the whole-file source, whose
// voices copy 512-frame blocks out of the decoded samples.
#include <algorithm>
#include <climits>
#include <cmath>

#include "audio/aurix.h"

namespace Aurix {

void AudioSource::attachStage(uint32_t index, void* stage) {
    if (index < StagePositions) stages[index] = stage;
}

AudioSource::~AudioSource() {
    detachFromEngine();
}

void AudioSource::detachFromEngine() {
    if (engine == nullptr) return;
    engine->stopSource(*this);
    engine->unlinkSource(*this);
    engine = nullptr;
}

void AudioSourceInstance::skipTo(double seconds, float* scratch, uint32_t scratchFloats) {
    // Negative or NaN seconds mean the start; a scratch of under one stereo frame cannot decode.
    if (!(seconds >= 0.0)) seconds = 0.0;
    const uint32_t chunk = scratchFloats / 2;
    double delta = seconds - streamSeconds;
    if (delta < 0.0) {
        restart();
        delta = seconds;
    }
    double frames = std::floor(double(sampleRate) * delta);
    if (!(frames >= 0.0)) frames = 0.0;
    int64_t count = frames > double(INT32_MAX) ? INT32_MAX : int64_t(frames);
    while (count > 0 && chunk > 0) {
        const uint32_t k = uint32_t(std::min<int64_t>(chunk, count));
        fetchSamples(scratch, k);
        count -= k;
    }
    streamSeconds = seconds;
}

Wav::~Wav() {
    detachFromEngine();
    clear();
}

void Wav::clear() {
    data.reset();
    sampleCount = 0;
}

AudioSourceInstance* Wav::createVoice() {
    return new WavInstance(this);
}

void WavInstance::fetchSamples(float* buffer, uint32_t frames) {
    const uint32_t count = parent->sampleCount;
    const uint32_t channels = channelCount;
    // Nothing to copy: silence. (Copying from an empty source would never make progress.)
    fetchedSoundFrames = frames;
    if (parent->data == nullptr || count == 0) {
        fetchedSoundFrames = 0;
        for (uint32_t ch = 0; ch < channels; ++ch)
            std::fill(buffer + size_t(ch) * frames, buffer + size_t(ch + 1) * frames, 0.0f);
        return;
    }
    const float* data = parent->data.get();
    uint32_t written = 0;
    const uint32_t chunk = std::min(frames, count);
    while (written < frames) {
        const uint32_t remaining = offset < count ? count - offset : 0;
        const uint32_t len = std::min({chunk, remaining, frames - written});
        for (uint32_t ch = 0; ch < channels; ++ch)
            std::copy_n(data + size_t(ch) * count + offset, len, buffer + size_t(ch) * frames + written);
        offset += len;
        written += len;
        if (len != chunk) {
            if (loops()) {
                if (offset >= count) {
                    ++loopCount;
                    offset = 0;
                }
            } else {
                const uint32_t zeros = frames - written;
                fetchedSoundFrames = written;
                for (uint32_t ch = 0; ch < channels; ++ch)
                    std::fill(buffer + size_t(ch) * frames + written, buffer + size_t(ch + 1) * frames, 0.0f);
                offset += zeros;
                return;
            }
        }
    }
}

bool WavInstance::isFinished() {
    if (loops()) return false;
    return offset >= parent->sampleCount;
}

AudioStatus WavInstance::restart() {
    offset = 0;
    streamSeconds = 0.0;
    return Success;
}

}  // namespace Aurix
