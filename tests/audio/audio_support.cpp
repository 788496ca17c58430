#include "tests/audio/audio_support.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vorbis/vorbisenc.h>

namespace audiotest {

namespace {

void put16(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(uint8_t(value));
    out.push_back(uint8_t(value >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

void putTag(std::vector<uint8_t>& out, const char* tag) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(tag[i]));
}

void appendPage(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

std::vector<uint8_t> makeWave(const WaveShape& shape) {
    std::vector<uint8_t> data;
    for (int32_t sample : shape.samples) {
        if (shape.bits == 8)
            data.push_back(uint8_t(sample));
        else
            put16(data, uint32_t(uint16_t(int16_t(sample))));
    }
    std::vector<uint8_t> out;
    putTag(out, "RIFF");
    put32(out, 0);  // filled below
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, 1);
    put16(out, shape.channels);
    put32(out, shape.rate);
    put32(out, shape.rate * shape.channels * shape.bits / 8);
    put16(out, shape.channels * shape.bits / 8);
    put16(out, shape.bits);
    if (!shape.chunkBeforeData.empty()) {
        putTag(out, shape.chunkBeforeData.c_str());
        put32(out, 6);
        const char content[6] = {'I', 'N', 'F', 'O', 'x', 'y'};
        out.insert(out.end(), content, content + 6);
    }
    putTag(out, "data");
    put32(out, shape.dataSizeOverride >= 0 ? uint32_t(shape.dataSizeOverride) : uint32_t(data.size()));
    out.insert(out.end(), data.begin(), data.end());
    const uint32_t riffSize = uint32_t(out.size() - 8);
    std::memcpy(out.data() + 4, &riffSize, 4);
    return out;
}

std::vector<uint8_t> makeOggVorbis(const std::vector<float>& planar, uint32_t channels, uint32_t rate, float quality) {
    const size_t frames = planar.size() / channels;
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, long(channels), long(rate), quality) != 0) {
        vorbis_info_clear(&info);
        return {};
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 1234);

    std::vector<uint8_t> out;
    ogg_packet header, headerComment, headerCode;
    vorbis_analysis_headerout(&dsp, &comment, &header, &headerComment, &headerCode);
    ogg_stream_packetin(&stream, &header);
    ogg_stream_packetin(&stream, &headerComment);
    ogg_stream_packetin(&stream, &headerCode);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(out, page);

    size_t done = 0;
    bool ended = false;
    while (!ended) {
        const size_t chunk = std::min<size_t>(4096, frames - done);
        if (chunk > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, int(chunk));
            for (uint32_t ch = 0; ch < channels; ++ch)
                std::memcpy(buffer[ch], planar.data() + ch * frames + done, chunk * sizeof(float));
        }
        vorbis_analysis_wrote(&dsp, int(chunk));
        done += chunk;
        ended = chunk == 0;
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) appendPage(out, page);
            }
        }
    }
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(out, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
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

std::string temporaryDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/aurix-test-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) return {};
    return buffer.data();
}

}  // namespace audiotest
