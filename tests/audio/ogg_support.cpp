#include "tests/audio/ogg_support.h"

#include <algorithm>
#include <cstring>
#include <vorbis/vorbisenc.h>

namespace audiotest {

namespace {

void appendPage(std::vector<uint8_t>& out, const ogg_page& page) {
    out.insert(out.end(), page.header, page.header + page.header_len);
    out.insert(out.end(), page.body, page.body + page.body_len);
}

}  // namespace

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

}  // namespace audiotest
