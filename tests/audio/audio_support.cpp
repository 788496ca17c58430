#include "tests/audio/audio_support.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "audio/little_endian.h"

namespace audiotest {

namespace {

using Aurix::appendLittleEndian16;
using Aurix::appendLittleEndian32;

void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

}  // namespace

std::vector<uint8_t> makeWave(const WaveShape& shape) {
    std::vector<uint8_t> data;
    for (int32_t sample : shape.samples) {
        if (shape.bits == 8)
            data.push_back(uint8_t(sample));
        else
            appendLittleEndian16(data, uint32_t(uint16_t(int16_t(sample))));
    }
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    appendLittleEndian32(out, 0);  // filled below
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    appendLittleEndian32(out, shape.formatChunkSize);
    appendLittleEndian16(out, shape.formatTag);
    appendLittleEndian16(out, shape.channels);
    appendLittleEndian32(out, shape.rate);
    appendLittleEndian32(out, shape.rate * shape.channels * shape.bits / 8);
    appendLittleEndian16(out, shape.channels * shape.bits / 8);
    appendLittleEndian16(out, shape.bits);
    if (shape.formatChunkSize >= 18) appendLittleEndian16(out, shape.formatChunkSize - 18);  // extension size
    if (shape.formatChunkSize >= 40) {
        appendLittleEndian16(out, shape.bits);  // valid bits
        appendLittleEndian32(out, 0x3);         // front left and right
        static const uint8_t GuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        appendLittleEndian16(out, shape.subFormat);
        out.insert(out.end(), GuidTail, GuidTail + 14);
    }
    if (!shape.chunkBeforeData.empty()) {
        putTag(out, shape.chunkBeforeData.c_str());
        appendLittleEndian32(out, 6);
        const char content[6] = {'I', 'N', 'F', 'O', 'x', 'y'};
        out.insert(out.end(), content, content + 6);
    }
    putTag(out, "data");
    appendLittleEndian32(out, shape.dataSizeOverride >= 0 ? uint32_t(shape.dataSizeOverride) : uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t riffSize = uint32_t(out.size() - 8);
    std::memcpy(out.data() + 4, &riffSize, 4);
    return out;
}

Aurix::AudioStatus loadBytes(Aurix::Wav& wav, const std::vector<uint8_t>& bytes) {
    Aurix::MemoryFile file(bytes.data(), uint32_t(bytes.size()));
    return wav.loadFromFile(file);
}

void fillWav(Aurix::Wav& wav, const std::vector<float>& planar, uint32_t channels, float rate) {
    wav.sampleCount = uint32_t(planar.size() / channels);
    wav.channelCount = channels;
    wav.baseSampleRate = rate;
    wav.data = std::make_unique<float[]>(planar.size());
    std::copy(planar.begin(), planar.end(), wav.data.get());
}

float limitReference(float x) {
    float y;
    if (x <= -1.65f)
        y = -0.9862875f;
    else if (x >= 1.65f)
        y = 0.9862875f;
    else {
        const float linear = 0.87f * x;
        const float cubic = ((0.1f * x) * x) * x;
        y = linear - cubic;
    }
    return 0.95f * y;
}

}  // namespace audiotest
