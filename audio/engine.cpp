// The engine core: voice table and handles, the audible-voice selection, the
// 12.20 fixed-point mixer and the soft limiter.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "audio/aurix.h"
#include "audio/output.h"

namespace Aurix {

struct AudioEngine::LockScope {
    explicit LockScope(const AudioEngine& locked) : engine(locked) { engine.acquireLock(); }
    ~LockScope() { engine.releaseLock(); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;
    const AudioEngine& engine;
};

namespace {

constexpr uint32_t BlockFrames = AudioSourceInstance::BlockFrames;
constexpr uint32_t BlockEnd = BlockFrames << 20;  // 0x20000000: one past the block in 12.20
constexpr uint32_t MaxPlayIndex = 0xFFFFF;        // never handed out: keeps voice-group handles free
constexpr float LimiterKnee = 1.65f;
constexpr float LimiterCeiling = 0.9862875f;

}  // namespace

AudioEngine::AudioEngine() = default;

AudioEngine::~AudioEngine() {
    shutdown();
    // Sources outlive the engine in the demo's static order; they must not call back into it.
    while (linkedSources != nullptr) {
        AudioSource* source = linkedSources;
        unlinkSource(*source);
        source->engine = nullptr;
    }
}

AudioStatus AudioEngine::start(uint32_t selector) {
    if (selector >= 11) return BadArgument;
    // The hook gives every output field back (the binding's closeOutput).
    if (backendShutdownHook != nullptr) backendShutdownHook(*this);
    return openOutput(*this, selector);
}

void AudioEngine::configureOutput(uint32_t rate, uint32_t frames) {
    sampleRate = rate;
    masterVolume = 1.0f;
    bufferFrames = frames;
    scratchFrames = std::max<uint32_t>(frames, 4096);
    scratch = std::make_unique<float[]>(2 * size_t(scratchFrames));
    engineFlags = 1;
    postLimitGain = 0.95f;
    framesRendered = 0;
}

void AudioEngine::linkSource(AudioSource& source) {
    if (source.engine == this) return;
    if (source.engine != nullptr) source.engine->unlinkSource(source);
    source.engine = this;
    source.previousLinked = nullptr;
    source.nextLinked = linkedSources;
    if (linkedSources != nullptr) linkedSources->previousLinked = &source;
    linkedSources = &source;
}

void AudioEngine::unlinkSource(AudioSource& source) {
    if (source.previousLinked != nullptr)
        source.previousLinked->nextLinked = source.nextLinked;
    else if (linkedSources == &source)
        linkedSources = source.nextLinked;
    if (source.nextLinked != nullptr) source.nextLinked->previousLinked = source.previousLinked;
    source.previousLinked = nullptr;
    source.nextLinked = nullptr;
}

VoiceHandle AudioEngine::startVoice(AudioSource& source, float volume, float pan) {
    linkSource(source);
    AudioSourceInstance* voice = source.createVoice();
    // The decode blocks depend only on the source, so they are made before the lock is taken.
    // The mixer has two planes; the sources never hold more than two channels.
    const uint32_t channels = std::clamp<uint32_t>(source.channelCount, 1, 2);
    voice->currentBlock = std::make_unique<float[]>(size_t(channels) * BlockFrames);
    voice->previousBlock = std::make_unique<float[]>(size_t(channels) * BlockFrames);

    LockScope lock(*this);
    const uint32_t slot = claimVoiceSlot();
    if (source.sourceId == 0) source.sourceId = nextSourceId++;
    voices[slot] = voice;
    voice->sourceId = source.sourceId;
    voice->bus = 0;

    voice->playIndex = nextPlayIndex;
    voice->baseSampleRate = source.baseSampleRate;
    voice->sampleRate = source.baseSampleRate;
    voice->channelCount = channels;
    voice->streamSeconds = 0.0;
    voice->flags = (voice->flags & ~AudioSourceInstance::LoopFlag) | (source.flags & AudioSource::LoopFlag);
    nextPlayIndex = nextPlayIndex + 1 >= MaxPlayIndex ? 0 : nextPlayIndex + 1;

    voice->pan = pan;
    const double angle = (double(pan) + 1.0) * PanLawPi * 0.25;
    voice->leftGain = float(std::cos(angle));
    voice->rightGain = float(std::sin(angle));
    audibleSetDirty = true;

    voice->volume = volume < 0.0f ? source.volume : volume;
    voice->playSpeed = 1.0f;
    voice->sampleRate = voice->playSpeed * voice->baseSampleRate;

    return (voice->playIndex << 12) | (slot + 1);
}

uint32_t AudioEngine::claimVoiceSlot() {
    if (slotHighWater > 0 && voices[slotHighWater - 1] == nullptr) --slotHighWater;
    for (uint32_t i = 0; i < MaxVoices; ++i) {
        if (voices[i] == nullptr) {
            slotHighWater = std::max<int32_t>(slotHighWater, int32_t(i) + 1);
            return i;
        }
    }
    uint32_t oldest = 0;
    for (uint32_t i = 1; i < MaxVoices; ++i)
        if (voices[i]->playIndex < voices[oldest]->playIndex) oldest = i;
    audibleSetDirty = true;
    destroyVoiceInSlot(oldest);
    return oldest;
}

void AudioEngine::destroyVoiceInSlot(uint32_t slot) {
    AudioSourceInstance* voice = voices[slot];
    voices[slot] = nullptr;
    delete voice;
}

AudioSourceInstance* AudioEngine::voiceForHandle(VoiceHandle handle) const {
    if (handle == 0 || (handle & 0xFFF) == 0) return nullptr;
    const uint32_t slot = (handle & 0xFFF) - 1;
    // Twelve bits name up to 4095 slots; the table has 1024.
    if (slot >= MaxVoices) return nullptr;
    AudioSourceInstance* voice = voices[slot];
    if (voice != nullptr && (voice->playIndex & 0xFFFFF) == handle >> 12) return voice;
    return nullptr;
}

void AudioEngine::setChannelVolumes(VoiceHandle handle, float left, float right) {
    LockScope lock(*this);
    AudioSourceInstance* voice = voiceForHandle(handle);
    if (voice == nullptr) return;
    voice->leftGain = left;
    voice->rightGain = right;
}

void AudioEngine::stopSource(AudioSource& source) {
    if (source.sourceId == 0) return;
    LockScope lock(*this);
    for (int32_t slot = 0; slot < slotHighWater; ++slot) {
        AudioSourceInstance* voice = voices[slot];
        if (voice != nullptr && voice->sourceId == source.sourceId) {
            audibleSetDirty = true;
            destroyVoiceInSlot(uint32_t(slot));
        }
    }
}

void AudioEngine::stopEverything() {
    LockScope lock(*this);
    for (int32_t slot = 0; slot < slotHighWater; ++slot) {
        audibleSetDirty = true;
        if (voices[slot] != nullptr) destroyVoiceInSlot(uint32_t(slot));
    }
}

void AudioEngine::shutdown() {
    stopEverything();
    if (backendShutdownHook != nullptr) backendShutdownHook(*this);
    scratch.reset();
}

void AudioEngine::renderBlock(float* out, uint32_t frames) {
    // Nothing to mix with before configuration: the device still gets silence.
    if (scratch == nullptr || sampleRate == 0) {
        std::fill(out, out + 2 * size_t(frames), 0.0f);
        return;
    }
    // The scratch holds scratchFrames frames per plane; longer requests come in pieces.
    while (frames > 0) {
        const uint32_t chunk = std::min(frames, scratchFrames);
        renderChunk(out, chunk);
        out += 2 * size_t(chunk);
        frames -= chunk;
    }
}

void AudioEngine::renderChunk(float* out, uint32_t frames) {
    const float blockSeconds = float(frames) / float(sampleRate);
    const float volume = masterVolume;
    {
        LockScope lock(*this);
        streamSeconds += blockSeconds;
        for (int32_t slot = 0; slot < slotHighWater; ++slot) {
            AudioSourceInstance* voice = voices[slot];
            if (voice == nullptr) continue;
            voice->streamSeconds += blockSeconds;
            if (voice->firstOutputFrame == AudioSourceInstance::NotRenderedYet)
                voice->firstOutputFrame = framesRendered;
        }
        if (audibleSetDirty) selectAudibleVoices();
        mixVoices(out, frames, scratch.get(), 0, sampleRate);
        framesRendered += frames;
    }
    float* planar = scratch.get();
    limitAndScale(out, planar, frames, volume, volume);
    for (uint32_t j = 0; j < frames; ++j) {
        out[2 * j] = planar[j];
        out[2 * j + 1] = planar[frames + j];
    }
}

HeardFrame AudioEngine::heardFrame(VoiceHandle handle) {
    if (backendPositionHook == nullptr) return {};
    uint64_t first = 0;
    {
        LockScope lock(*this);
        const AudioSourceInstance* voice = voiceForHandle(handle);
        if (voice == nullptr) return {};
        first = voice->firstOutputFrame;
    }
    if (first == AudioSourceInstance::NotRenderedYet) return {HeardFrame::NotYet, 0};
    // Asked after the voice's first frame was looked up: the device can only have moved on.
    OutputPosition position;
    if (!backendPositionHook(*this, position) || position.framesGiven <= first) return {HeardFrame::NotYet, 0};
    const uint64_t held = std::min(position.framesHeld, position.framesGiven);
    return {HeardFrame::Heard, int64_t(position.framesGiven - held) - int64_t(first)};
}

void AudioEngine::selectAudibleVoices() {
    audibleSetDirty = false;
    uint32_t length = 0;
    for (int32_t slot = 0; slot < slotHighWater; ++slot)
        if (voices[slot] != nullptr) audibleSlots[length++] = uint32_t(slot);
    if (length <= audibleVoiceLimit) {
        audibleCount = length;
        return;
    }
    audibleCount = audibleVoiceLimit;

    // Quicksort by volume, loudest first, that stops once the first
    // audibleVoiceLimit entries are in place.
    auto volumeAt = [&](int32_t index) { return voices[audibleSlots[index]]->volume; };
    int32_t stack[24];
    int32_t depth = 0;
    int32_t left = 0;
    int32_t end = int32_t(length);
    for (;;) {
        if (end - left < 2) {
            if (depth == 0 || left >= int32_t(audibleVoiceLimit)) break;
            left = end;
            end = stack[--depth];
            continue;
        }
        if (depth == 24) {
            // A full stack is dropped; the range then runs to where the bottom entry did.
            end = stack[0];
            depth = 0;
        }
        stack[depth++] = end;
        const float pivot = volumeAt(left);
        int32_t i = left - 1;
        int32_t j = end;
        for (;;) {
            do ++i;
            while (volumeAt(i) > pivot);
            do --j;
            while (pivot > volumeAt(j));
            if (i >= j) break;
            std::swap(audibleSlots[i], audibleSlots[j]);
        }
        end = j + 1;
    }
}

void AudioEngine::mixVoices(float* out, uint32_t frames, float* scratchBuffer, int32_t mixBus, uint32_t outRate) {
    std::fill(out, out + 2 * size_t(frames), 0.0f);
    for (uint32_t a = 0; a < audibleCount; ++a) {
        const uint32_t slot = audibleSlots[a];
        AudioSourceInstance* voice = voices[slot];
        if (voice == nullptr || voice->bus != mixBus) continue;

        const double ratio = double(voice->sampleRate / float(outRate));
        double stepValue = std::floor(ratio * 1048576.0);
        // The loaders keep rates in range; a voice made some other way must still not stall the loop.
        if (!(stepValue >= 1.0)) stepValue = 1.0;
        if (stepValue >= double(BlockEnd)) stepValue = double(BlockEnd - 1);
        const uint32_t step = uint32_t(stepValue);
        const uint32_t channels = std::min<uint32_t>(voice->channelCount, 2);

        uint32_t outPos = 0;
        while (outPos < frames) {
            if (voice->carryFrames == 0) {
                std::swap(voice->currentBlock, voice->previousBlock);
                if (voice->isFinished()) {
                    std::fill(voice->currentBlock.get(), voice->currentBlock.get() + size_t(channels) * BlockFrames,
                              0.0f);
                    voice->fetchedSoundFrames = 0;
                } else {
                    voice->fetchSamples(voice->currentBlock.get(), BlockFrames);
                }
                voice->sourceCursor = voice->sourceCursor >= BlockEnd ? voice->sourceCursor - BlockEnd : 0;
            } else {
                voice->carryFrames = 0;
            }

            uint32_t n = 0;
            if (voice->sourceCursor < BlockEnd) {
                n = (BlockEnd - voice->sourceCursor) / step;
                // One more frame still starts inside the block: take it, so the
                // cursor carries its fraction into the next block.
                if (n * step + voice->sourceCursor < BlockEnd) ++n;
            }
            if (outPos + n > frames) {
                voice->carryFrames = outPos + n - frames;
                n = frames - outPos;
            }

            const float* current = voice->currentBlock.get();
            const float* previous = voice->previousBlock.get();
            for (uint32_t ch = 0; ch < channels; ++ch) {
                const float* cur = current + ch * BlockFrames;
                const float lastOfPrevious = previous[ch * BlockFrames + BlockFrames - 1];
                float* target = scratchBuffer + size_t(ch) * frames + outPos;
                uint32_t pos = voice->sourceCursor;
                for (uint32_t k = 0; k < n; ++k) {
                    const uint32_t idx = pos >> 20;
                    const uint32_t frac = pos & 0xFFFFF;
                    const float s1 = idx > 0 ? cur[idx - 1] : lastOfPrevious;
                    const float s2 = cur[idx];
                    const float difference = s2 - s1;
                    const float scaled = difference * float(frac);
                    target[k] = scaled * (1.0f / 1048576.0f) + s1;
                    pos += step;
                }
            }
            outPos += n;
            voice->sourceCursor += n * step;
        }

        // Gain ramps: start + k * delta per frame, single precision.
        const float targetL = voice->leftGain * voice->volume;
        const float targetR = voice->rightGain * voice->volume;
        const float startL = voice->appliedGain[0];
        const float startR = voice->appliedGain[1];
        const float deltaL = (targetL - startL) / float(frames);
        const float deltaR = (targetR - startR) / float(frames);
        const float* plane0 = scratchBuffer;
        const float* plane1 = channels >= 2 ? scratchBuffer + frames : scratchBuffer;
        float* outL = out;
        float* outR = out + frames;
        for (uint32_t k = 0; k < frames; ++k) {
            const float gainL = startL + float(k) * deltaL;
            const float gainR = startR + float(k) * deltaR;
            outL[k] += plane0[k] * gainL;
            outR[k] += plane1[k] * gainR;
        }
        voice->appliedGain[0] = targetL;
        voice->appliedGain[1] = targetR;

        // Finished once its last frame of sound has been played: at a low
        // rate the last block fetched lasts several output blocks.
        const bool playedOut = voice->sourceCursor > std::min(voice->fetchedSoundFrames, BlockFrames) << 20;
        if (!voice->loops() && voice->isFinished() && playedOut) {
            audibleSetDirty = true;
            destroyVoiceInSlot(slot);
        }
    }
}

void AudioEngine::limitAndScale(const float* in, float* out, uint32_t frames, float volFrom, float volTo) const {
    const float delta = (volTo - volFrom) / float(frames);
    for (uint32_t plane = 0; plane < 2; ++plane) {
        const float* source = in + size_t(plane) * frames;
        float* target = out + size_t(plane) * frames;
        for (uint32_t k = 0; k < frames; ++k) {
            const float v = volFrom + float(k) * delta;
            const float x = source[k] * v;
            float y;
            if (x <= -LimiterKnee)
                y = -LimiterCeiling;
            else if (x >= LimiterKnee)
                y = LimiterCeiling;
            else
                y = 0.87f * x - ((0.1f * x) * x) * x;
            target[k] = postLimitGain * y;
        }
    }
}

int16_t toPcm16(float x) {
    const float product = x * 32767.0f;
    if (product != product) return 0;
    return int16_t(int32_t(std::floor(double(product))));
}

}  // namespace Aurix
