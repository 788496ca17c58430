// Aurix: Hazel Glow's own small audio engine.
//
// What it does: a Wav decodes a whole Ogg Vorbis or PCM WAVE file into memory
// as planar float samples. AudioEngine plays copies of sources as voices (up
// to 1024, named by VoiceHandle values), and on request renders a block of
// the mix: the 16 loudest voices, each resampled in 12.20 fixed point from
// 512-frame decode blocks, with linear gain ramps, summed, soft-limited and
// interleaved as stereo floats.
//
// Threads: the main thread starts the engine, loads sources, starts and
// stops voices and tests handles. The output backend's mixing thread pulls
// renderBlock and hands the result to the device. The two share only the
// voice table and the mixing state, guarded by the one engine mutex that the
// output binding makes for a backend with a thread; every locking site goes
// through acquireHook/releaseHook, which stay null (no locking) while no
// such backend runs.
//
// Backends, chosen by start's selector (all choosing lives in
// audio/output_select.cpp, one file per backend):
//   0  BackendAuto     the device output, or the silent output when no device
//                      can be opened
//   4  BackendWaveOut  the device output: ALSA's "default" PCM on Linux
//                      (output_alsa.cpp), waveOut on Windows
//                      (output_waveout.cpp), Web Audio in the browser
//                      (output_webaudio.cpp); 16-bit stereo 44 100 Hz, two
//                      blocks of 4096 frames in flight
//   10 BackendSilent   no device: blocks are pulled at the device's pace and
//                      dropped, so voices still advance and end on time
//                      (output_silent.cpp)
//
// Link hg_audio (it brings libstb for stb_vorbis, ALSA on Linux, threads).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

struct stb_vorbis;

namespace Aurix {

// bits 0-11: voice slot + 1; bits 12-31: the voice's play index; 0 is never valid.
using VoiceHandle = uint32_t;

// The pan law's pi, rounded to eleven decimals as the engine has always used
// it: std::numbers::pi would move some pans' gains by one float step.
inline constexpr double PanLawPi = 3.14159265359;

enum AudioStatus : int32_t {
    Success = 0,
    BadArgument = 1,
    CannotOpenFile = 2,
    UnreadableContent = 3,
    Unsupported = 6,
    GeneralFailure = 7,
};

enum BackendSelector : uint32_t {
    BackendAuto = 0,
    BackendWaveOut = 4,
    BackendSilent = 10,
};

class AudioEngine;

// A readable byte source. Offsets and sizes are 32-bit, as the loaders use them.
class File {
public:
    virtual ~File() = default;
    virtual int atEnd() = 0;
    virtual uint32_t readBytes(void* destination, uint32_t count) = 0;
    virtual uint32_t size() = 0;
    virtual void seekTo(uint32_t offset) = 0;
    virtual uint32_t position() = 0;
    virtual FILE* stdioHandle() { return nullptr; }
    virtual const void* memoryBlock() { return nullptr; }

    // Four bytes, little-endian; missing bytes read as 0.
    uint32_t readWord32();
};

// A stdio stream, owned: closed with the DiskFile.
class DiskFile final : public File {
public:
    explicit DiskFile(FILE* file) : stream(file) {}
    ~DiskFile() override;
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    int atEnd() override;
    uint32_t readBytes(void* destination, uint32_t count) override;
    uint32_t size() override;
    void seekTo(uint32_t offset) override;
    uint32_t position() override;
    FILE* stdioHandle() override { return stream; }

    FILE* stream = nullptr;
};

// Bytes already in memory, not owned; reads past the end stop at the end.
class MemoryFile final : public File {
public:
    MemoryFile(const void* data, uint32_t size) : bytes(static_cast<const uint8_t*>(data)), byteCount(size) {}

    int atEnd() override { return offset >= byteCount ? 1 : 0; }
    uint32_t readBytes(void* destination, uint32_t count) override;
    uint32_t size() override { return byteCount; }
    void seekTo(uint32_t newOffset) override { offset = newOffset; }
    uint32_t position() override { return offset; }
    const void* memoryBlock() override { return bytes; }

private:
    const uint8_t* bytes;
    uint32_t byteCount;
    uint32_t offset = 0;
};

class AudioSourceInstance;

// Something the engine can play; each playing copy is an AudioSourceInstance.
class AudioSource {
public:
    static constexpr uint32_t LoopFlag = 1;
    static constexpr uint32_t StagePositions = 8;

    AudioSource() = default;
    AudioSource(const AudioSource&) = delete;
    AudioSource& operator=(const AudioSource&) = delete;

    // Processing-stage positions: kept for the record layout, nothing attaches any.
    virtual void attachStage(uint32_t index, void* stage);
    // Stops this source's voices first, so no voice outlives its source.
    virtual ~AudioSource();
    virtual AudioSourceInstance* createVoice() = 0;

    uint32_t flags = 0;
    float baseSampleRate = 44100.0f;
    float volume = 1.0f;
    uint32_t channelCount = 1;
    uint32_t sourceId = 0;
    void* stages[StagePositions] = {};
    AudioEngine* engine = nullptr;  // the engine that last played this source

protected:
    // Stops the voices and leaves the engine's list of sources it played.
    void detachFromEngine();

private:
    friend class AudioEngine;
    AudioSource* previousLinked = nullptr;
    AudioSource* nextLinked = nullptr;
};

// A voice: one playing copy of a source, owned by the engine.
class AudioSourceInstance {
public:
    static constexpr uint32_t BlockFrames = 512;
    static constexpr uint32_t LoopFlag = 1;

    AudioSourceInstance() = default;
    AudioSourceInstance(const AudioSourceInstance&) = delete;
    AudioSourceInstance& operator=(const AudioSourceInstance&) = delete;
    virtual ~AudioSourceInstance() = default;

    // Planar: channel c's frames start at buffer + c * frames.
    virtual void fetchSamples(float* buffer, uint32_t frames) = 0;
    virtual bool isFinished() = 0;
    // Moves the play position by decoding and dropping frames; scratch holds scratchFloats floats.
    virtual void skipTo(double seconds, float* scratch, uint32_t scratchFloats);
    virtual AudioStatus restart() { return Unsupported; }
    virtual float queryInfo(uint32_t) { return 0.0f; }

    bool loops() const { return (flags & LoopFlag) != 0; }

    uint32_t playIndex = 0;
    uint32_t loopCount = 0;
    uint32_t flags = 0;
    float pan = 0.0f;
    float leftGain = 0.70710677f;
    float rightGain = 0.70710677f;
    float volume = 1.0f;
    float baseSampleRate = 44100.0f;
    float sampleRate = 44100.0f;
    uint32_t channelCount = 1;
    float playSpeed = 1.0f;
    double streamSeconds = 0.0;
    float appliedGain[2] = {0.0f, 0.0f};
    uint32_t sourceId = 0;
    int32_t bus = -1;
    // channelCount x 512 planar floats each, allocated when the voice starts.
    std::unique_ptr<float[]> currentBlock;
    std::unique_ptr<float[]> previousBlock;
    uint32_t sourceCursor = 0;  // 12.20 fixed-point read position in currentBlock
    uint32_t carryFrames = 0;
    // Frames of sound the last fetchSamples gave before the zeros that
    // follow a voice's end; the mixer ends a finished voice once its cursor
    // is past them, not as soon as the last block is fetched.
    uint32_t fetchedSoundFrames = BlockFrames;
    // The engine's output frame at which this voice's first block was
    // rendered (see AudioEngine::framesRendered); NotRenderedYet before.
    static constexpr uint64_t NotRenderedYet = ~uint64_t(0);
    uint64_t firstOutputFrame = NotRenderedYet;
};

// A whole sound file decoded into memory: planar floats, channel 0 then channel 1.
class Wav final : public AudioSource {
public:
    // The rates a sound file may have: telephone quality to studio masters.
    // Far outside them a header is lying, and a 1 Hz file of a few
    // kilobytes would mix to hours of output.
    static constexpr uint32_t MinSampleRate = 8000;
    static constexpr uint32_t MaxSampleRate = 192000;
    // The most a file may decode to, checked before anything is allocated:
    // 20 minutes of sound and 256 MiB of samples (the demo's own takes
    // 3 minutes and 31 MB); an Ogg file is read whole, so at most 64 MiB.
    static constexpr uint32_t MaxSeconds = 20 * 60;
    static constexpr uint64_t MaxDecodedBytes = uint64_t(256) << 20;
    static constexpr uint32_t MaxOggFileBytes = uint32_t(64) << 20;

    Wav() = default;
    ~Wav() override;

    AudioSourceInstance* createVoice() override;
    AudioStatus loadFromPath(const char* path);
    // Replaces what the Wav holds; stops its voices first. On failure the Wav is empty.
    AudioStatus loadFromFile(File& file);

    std::unique_ptr<float[]> data;
    uint32_t sampleCount = 0;  // frames per channel
    // After a failed load, what was wrong when the status alone does not say
    // (a stream that breaks off, a WAVE sample format not taken), in words
    // for a one-line message; empty otherwise.
    std::string loadProblem;

private:
    // `ended`: the stream reaches its end-of-stream page.
    AudioStatus decodeVorbis(stb_vorbis* decoder, uint32_t fileBytes, bool ended);
    AudioStatus parseRiffWave(File& file);
    void clear();
};

class WavInstance final : public AudioSourceInstance {
public:
    explicit WavInstance(Wav* source) : parent(source) {}

    void fetchSamples(float* buffer, uint32_t frames) override;
    bool isFinished() override;
    AudioStatus restart() override;

    Wav* parent;
    uint32_t offset = 0;  // next frame to copy
};

// What an output can tell of its device at one moment: how many of the
// frames the engine rendered it has handed to the device, and how many of
// those the device still holds, not yet heard.
struct OutputPosition {
    uint64_t framesGiven = 0;
    uint64_t framesHeld = 0;
};

// Which output frame of a voice is being heard now. Heard: `frame` is it
// (negative while the voice's first frames are still queued ahead of it).
// NotYet: the voice's first block is not with the device, or the device is
// not playing (starting, recovering, stalled). Unknown: the output cannot
// tell, or the handle names no voice.
struct HeardFrame {
    enum Status { Heard, NotYet, Unknown };
    Status status = Unknown;
    int64_t frame = 0;
};

class AudioEngine {
public:
    static constexpr uint32_t MaxVoices = 1024;
    static constexpr uint32_t ReservedHandleBase = 0xFFFFF000u;  // voice-group handles, never a voice
    static constexpr uint32_t OutputRate = 44100;
    static constexpr uint32_t DeviceBlockFrames = 4096;

    AudioEngine();
    ~AudioEngine();
    AudioEngine(const AudioEngine&) = delete;
    AudioEngine& operator=(const AudioEngine&) = delete;

    // Opens an output backend (see BackendSelector), closing one left from an earlier start.
    AudioStatus start(uint32_t selector);
    // Called by the output binding once a device is open, before its
    // thread starts: frames is channels x block frames.
    void configureOutput(uint32_t rate, uint32_t frames);
    // volume < 0: the source's own volume; pan from -1 (left) to +1 (right).
    VoiceHandle startVoice(AudioSource& source, float volume, float pan);
    void setChannelVolumes(VoiceHandle handle, float left, float right);
    // Lock held: callers hold the engine lock (acquireLock) while a backend runs.
    AudioSourceInstance* voiceForHandle(VoiceHandle handle) const;
    void stopSource(AudioSource& source);
    void stopEverything();
    // Mixing thread: 2 x frames interleaved stereo floats into out.
    void renderBlock(float* out, uint32_t frames);
    // Main thread: the voice's frame being heard now, from what was
    // rendered for it less what the device still holds.
    HeardFrame heardFrame(VoiceHandle handle);
    void shutdown();

    // The engine lock through the hooks; nothing while no backend runs.
    void acquireLock() const {
        if (acquireHook != nullptr) acquireHook(mutexHandle);
    }
    void releaseLock() const {
        if (releaseHook != nullptr) releaseHook(mutexHandle);
    }
    // Why the last start fell back or failed ("" when it did not).
    const std::string& outputNote() const { return outputMessage; }
    // For a person, after a run: "" when the sound was heard as it should
    // have been (or silence was asked for); else one line naming the device
    // and why it was not, e.g. `no sound: ALSA "default": Host is down
    // (played silently)`. Main thread, before shutdown: a device's trouble
    // while playing goes with it.
    std::string outputReport() const;

    // The output's fields, from backendState to backendPositionHook and
    // backendKind, backendName and outputMessage: written only by the output
    // binding (audio/output_select.cpp), read by the engine and its callers.
    void* backendState = nullptr;
    void* mutexHandle = nullptr;
    void (*acquireHook)(void* mutex) = nullptr;
    void (*releaseHook)(void* mutex) = nullptr;
    void (*backendShutdownHook)(AudioEngine& engine) = nullptr;
    // The output's play position (see OutputPosition); false while the
    // device is not playing. Null: the output cannot tell.
    bool (*backendPositionHook)(AudioEngine& engine, OutputPosition& position) = nullptr;
    uint32_t audibleVoiceLimit = 16;
    int32_t slotHighWater = 0;
    std::unique_ptr<float[]> scratch;
    uint32_t scratchFrames = 0;
    AudioSourceInstance* voices[MaxVoices] = {};
    uint32_t sampleRate = 0;
    uint32_t channelCount = 2;
    uint32_t backendKind = 0;
    const char* backendName = nullptr;
    uint32_t bufferFrames = 0;
    uint32_t engineFlags = 0;
    float masterVolume = 0.0f;
    float postLimitGain = 0.0f;
    uint32_t nextPlayIndex = 0;
    uint32_t nextSourceId = 1;
    double streamSeconds = 0.0;
    uint64_t framesRendered = 0;  // output frames rendered since configuration; under the lock
    uint32_t audibleSlots[MaxVoices] = {};
    uint32_t audibleCount = 0;
    bool audibleSetDirty = true;
    std::string outputMessage;

private:
    friend class AudioSource;
    struct LockScope;

    // Lock held (or no backend runs yet).
    uint32_t claimVoiceSlot();
    // Lock held.
    void selectAudibleVoices();
    // Lock held.
    void mixVoices(float* out, uint32_t frames, float* scratchBuffer, int32_t mixBus, uint32_t outRate);
    // Lock held (or no backend runs yet).
    void destroyVoiceInSlot(uint32_t slot);

    void limitAndScale(const float* in, float* out, uint32_t frames, float volFrom, float volTo) const;
    void renderChunk(float* out, uint32_t frames);

    void linkSource(AudioSource& source);
    void unlinkSource(AudioSource& source);
    AudioSource* linkedSources = nullptr;  // main thread only
};

// The device's sample conversion: floor(x * 32767) with the product in
// single precision, truncated to 16 bits, no clamping (the limiter keeps
// |x| below 0.937). A NaN sample becomes 0.
int16_t toPcm16(float x);

}  // namespace Aurix
