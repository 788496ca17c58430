// libFuzzer target: any bytes through Wav::loadFromFile over an in-memory
// file, then whatever loaded is played for a block, so a header that slipped
// through with a bad rate or size shows up in the mixer too.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "audio/aurix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1u << 20)) return 0;
    Aurix::MemoryFile file(data, uint32_t(size));
    Aurix::Wav wav;
    if (wav.loadFromFile(file) != Aurix::Success || wav.sampleCount == 0) return 0;
    Aurix::AudioEngine engine;
    engine.configureOutput(44100, 8192);
    const Aurix::VoiceHandle voice = engine.startVoice(wav, -1.0f, 0.0f);
    engine.setChannelVolumes(voice, 1.0f, 1.0f);
    std::vector<float> out(2 * 1024);
    engine.renderBlock(out.data(), 1024);
    engine.renderBlock(out.data(), 1024);
    return 0;
}
