// The driver's calls into the audio engine. The soundtrack's voice handle is
// the only audio state the driver keeps; the per-frame test reads the voice
// table under the engine lock, since the mixing thread removes the voice.
#include "demo/soundtrack.h"

#include <cmath>

#include "audio/aurix.h"
#include "demo/demo_objects.h"
#include "demo/ticks.h"

namespace {

Aurix::VoiceHandle musicVoice = 0;

}  // namespace

void startAudioEngine() {
    audioEngine.start(Aurix::BackendAuto);
}

Result loadSoundtrack(const char* path) {
    switch (soundtrack.loadFromPath(path)) {
    case Aurix::Success:
        return Result::ok();
    case Aurix::CannotOpenFile:
        return Result::failed(path, "cannot open the file");
    default:
        if (!soundtrack.loadProblem.empty()) return Result::failed(path, soundtrack.loadProblem);
        return Result::failed(path, "not a soundtrack this demo can play (Ogg Vorbis or PCM WAVE expected)");
    }
}

void startSoundtrackVoice() {
    musicVoice = audioEngine.startVoice(soundtrack, -1.0f, 0.0f);
}

void setSoundtrackVolumes() {
    audioEngine.setChannelVolumes(musicVoice, 1.0f, 1.0f);
}

bool soundtrackVoiceAlive() {
    // A voice-group handle names no single voice: nothing to wait for.
    if (musicVoice >= Aurix::AudioEngine::ReservedHandleBase) return false;
    audioEngine.acquireLock();
    const bool alive = audioEngine.voiceForHandle(musicVoice) != nullptr;
    audioEngine.releaseLock();
    return alive;
}

uint64_t soundtrackOutputFrames() {
    if (!(soundtrack.baseSampleRate > 0.0f)) return 0;
    const double frames = static_cast<double>(soundtrack.sampleCount) * Aurix::AudioEngine::OutputRate /
                          static_cast<double>(soundtrack.baseSampleRate);
    return static_cast<uint64_t>(std::ceil(frames));
}

SoundtrackHeard soundtrackHeardZero(uint64_t& heardZero) {
    const uint64_t before = tickNanoseconds();
    const Aurix::HeardFrame heard = audioEngine.heardFrame(musicVoice);
    const uint64_t after = tickNanoseconds();
    if (heard.status == Aurix::HeardFrame::Unknown) return SoundtrackHeard::Unknown;
    if (heard.status == Aurix::HeardFrame::NotYet) return SoundtrackHeard::NotYet;
    // The answer was true somewhere between the two readings of the clock.
    const uint64_t asked = before + (after - before) / 2;
    const int64_t heardFor = heard.frame * 1000000000 / int64_t(Aurix::AudioEngine::OutputRate);
    heardZero = uint64_t(int64_t(asked) - heardFor);
    return SoundtrackHeard::Known;
}

std::string soundReport() {
    return audioEngine.outputReport();
}
