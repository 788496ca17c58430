// Ogg Vorbis encoding of the soundtrack with libvorbisenc.
#include <algorithm>

#include <vorbis/vorbisenc.h>

#include "tools/datagen/datagen.h"

namespace datagen {
namespace {

// A fixed stream serial number keeps the file the same on every run.
constexpr int StreamSerial = 0x48474c57;  // "HGLW"
constexpr float Quality = 0.5f;
constexpr int Channels = 2;
constexpr int ChunkFrames = 4096;

void appendPage(std::vector<uint8_t>& bytes, const ogg_page& page) {
    bytes.insert(bytes.end(), page.header, page.header + page.header_len);
    bytes.insert(bytes.end(), page.body, page.body + page.body_len);
}

}  // namespace

Result writeOggVorbis(const std::string& path, const std::vector<float>& interleaved) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, Channels, SampleRate, Quality) != 0) {
        vorbis_info_clear(&info);
        return Result::failed("cannot encode " + path, "libvorbisenc refuses stereo 44100 Hz at quality 0.5");
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_comment_add_tag(&comment, "TITLE", "Hazel Glow");
    vorbis_comment_add_tag(&comment, "ARTIST", "V\xC3\xB6rnik\xC3\xB6");

    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, StreamSerial);

    std::vector<uint8_t> bytes;
    ogg_page page;
    ogg_packet packet;
    {
        ogg_packet identification, comments, codebooks;
        vorbis_analysis_headerout(&dsp, &comment, &identification, &comments, &codebooks);
        ogg_stream_packetin(&stream, &identification);
        ogg_stream_packetin(&stream, &comments);
        ogg_stream_packetin(&stream, &codebooks);
        // The audio starts on a fresh page, as the format asks.
        while (ogg_stream_flush(&stream, &page) != 0) appendPage(bytes, page);
    }

    auto drain = [&]() {
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet) != 0) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page) != 0) appendPage(bytes, page);
            }
        }
    };

    const size_t frames = interleaved.size() / Channels;
    for (size_t done = 0; done < frames;) {
        const int count = static_cast<int>(std::min<size_t>(ChunkFrames, frames - done));
        float** buffer = vorbis_analysis_buffer(&dsp, count);
        for (int i = 0; i < count; ++i) {
            buffer[0][i] = interleaved[(done + static_cast<size_t>(i)) * 2];
            buffer[1][i] = interleaved[(done + static_cast<size_t>(i)) * 2 + 1];
        }
        vorbis_analysis_wrote(&dsp, count);
        drain();
        done += static_cast<size_t>(count);
    }
    vorbis_analysis_wrote(&dsp, 0);  // end of stream
    drain();
    while (ogg_stream_flush(&stream, &page) != 0) appendPage(bytes, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return writeFile(path, bytes);
}

}  // namespace datagen
