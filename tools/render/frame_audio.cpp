#include "tools/render/frame_audio.h"

#include "tools/render/output_file.h"

#include "audio/aurix.h"
#include "audio/little_endian.h"

std::vector<int16_t> mixSoundtrack(Aurix::Wav& source) {
    constexpr uint32_t Frames = Aurix::AudioEngine::DeviceBlockFrames;
    Aurix::AudioEngine engine;
    engine.configureOutput(Aurix::AudioEngine::OutputRate, 2 * Frames);
    const Aurix::VoiceHandle voice = engine.startVoice(source, -1.0f, 0.0f);
    engine.setChannelVolumes(voice, 1.0f, 1.0f);

    std::vector<float> block(2 * Frames);
    std::vector<int16_t> samples;
    do {
        engine.renderBlock(block.data(), Frames);
        for (float x : block) samples.push_back(Aurix::toPcm16(x));
    } while (engine.voiceForHandle(voice) != nullptr);
    return samples;
}

namespace {

using Aurix::appendLittleEndian16;
using Aurix::appendLittleEndian32;

}  // namespace

Result writeWaveFile(const std::string& path, const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = uint32_t(samples.size() * 2);
    std::vector<uint8_t> bytes;
    bytes.reserve(44 + size_t(dataBytes));
    bytes.insert(bytes.end(), {'R', 'I', 'F', 'F'});
    appendLittleEndian32(bytes, 36 + dataBytes);
    bytes.insert(bytes.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    appendLittleEndian32(bytes, 16);
    appendLittleEndian16(bytes, 1);  // PCM
    appendLittleEndian16(bytes, 2);  // stereo
    appendLittleEndian32(bytes, Aurix::AudioEngine::OutputRate);
    appendLittleEndian32(bytes, Aurix::AudioEngine::OutputRate * 4);
    appendLittleEndian16(bytes, 4);
    appendLittleEndian16(bytes, 16);
    bytes.insert(bytes.end(), {'d', 'a', 't', 'a'});
    appendLittleEndian32(bytes, dataBytes);
    for (int16_t sample : samples) appendLittleEndian16(bytes, uint16_t(sample));

    return writeWholeFile(path, bytes.data(), bytes.size());
}
