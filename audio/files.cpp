// The file abstraction the loaders read through, and the two loaders of Wav:
// Ogg Vorbis (stb_vorbis, from the file's bytes in memory) and PCM WAVE.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#define STB_VORBIS_HEADER_ONLY
#include <stb_vorbis.h>

#include "audio/aurix.h"
#include "audio/little_endian.h"

namespace Aurix {

uint32_t File::readWord32() {
    uint8_t bytes[4] = {};
    readBytes(bytes, 4);
    return littleEndian32(bytes);
}

DiskFile::~DiskFile() {
    if (stream != nullptr) std::fclose(stream);
}

int DiskFile::atEnd() {
    return std::feof(stream);
}

uint32_t DiskFile::readBytes(void* destination, uint32_t count) {
    return uint32_t(std::fread(destination, 1, count, stream));
}

uint32_t DiskFile::size() {
    const long here = std::ftell(stream);
    std::fseek(stream, 0, SEEK_END);
    const long end = std::ftell(stream);
    std::fseek(stream, here, SEEK_SET);
    // Compared as 64-bit: long is 32 bits on Windows, where long(UINT32_MAX) is -1.
    return end < 0 ? 0 : uint64_t(end) > UINT32_MAX ? UINT32_MAX : uint32_t(end);
}

void DiskFile::seekTo(uint32_t offset) {
    std::fseek(stream, long(offset), SEEK_SET);
}

uint32_t DiskFile::position() {
    const long here = std::ftell(stream);
    return here < 0 ? 0 : uint32_t(here);
}

uint32_t MemoryFile::readBytes(void* destination, uint32_t count) {
    if (offset >= byteCount) return 0;
    const uint32_t available = std::min(count, byteCount - offset);
    std::memcpy(destination, bytes + offset, available);
    offset += available;
    return available;
}

namespace {

// Most frames one byte of a Vorbis stream can stand for: a packet decodes to
// at most 4096 frames and takes at least one byte. A declared length beyond
// this is a corrupt header, not a stream.
constexpr uint64_t MaxVorbisFramesPerByte = 4096;
// The decoder's memory: where it starts and how far it may grow.
constexpr size_t VorbisArenaStart = 256 * 1024;
constexpr size_t VorbisArenaLimit = 64 * 1024 * 1024;

bool readExactly(File& file, void* destination, uint32_t count) {
    return file.readBytes(destination, count) == count;
}

bool readTag(File& file, const char* expected) {
    char tag[4];
    return readExactly(file, tag, 4) && std::memcmp(tag, expected, 4) == 0;
}

bool readU16(File& file, uint32_t& value) {
    uint8_t bytes[2];
    if (!readExactly(file, bytes, 2)) return false;
    value = uint32_t(bytes[0]) | uint32_t(bytes[1]) << 8;
    return true;
}

bool readU32(File& file, uint32_t& value) {
    uint8_t bytes[4];
    if (!readExactly(file, bytes, 4)) return false;
    value = littleEndian32(bytes);
    return true;
}

// The second packet of the stream's first logical bitstream, gathered from
// its Ogg pages; false when the pages end first.
bool secondOggPacket(const uint8_t* bytes, uint32_t length, std::vector<uint8_t>& packet) {
    uint32_t offset = 0;
    uint32_t serial = 0;
    bool first = true;
    int packetIndex = 0;
    packet.clear();
    while (offset + 27 <= length) {
        if (std::memcmp(bytes + offset, "OggS", 4) != 0) return false;
        uint32_t pageSerial;
        std::memcpy(&pageSerial, bytes + offset + 14, 4);
        const uint32_t segments = bytes[offset + 26];
        const uint32_t lacingStart = offset + 27;
        if (lacingStart + segments > length) return false;
        uint32_t body = lacingStart + segments;
        const bool ours = first || pageSerial == serial;
        if (first) serial = pageSerial;
        first = false;
        for (uint32_t s = 0; s < segments; ++s) {
            const uint32_t size = bytes[lacingStart + s];
            if (body + size > length) return false;
            if (ours) {
                if (packetIndex == 1) packet.insert(packet.end(), bytes + body, bytes + body + size);
                if (size < 255 && ++packetIndex == 2) return true;
            }
            body += size;
        }
        offset = body;
    }
    return false;
}

// stb_vorbis trusts the comment header's lengths and writes past its buffers
// when they lie; a stream whose lengths do not fit its comment packet is refused first.
bool vorbisCommentsFit(const uint8_t* bytes, uint32_t length) {
    std::vector<uint8_t> packet;
    if (!secondOggPacket(bytes, length, packet)) return false;
    if (packet.size() < 7 || packet[0] != 3 || std::memcmp(packet.data() + 1, "vorbis", 6) != 0) return false;
    size_t at = 7;
    auto word = [&](uint32_t& value) {
        if (packet.size() - at < 4) return false;
        value = littleEndian32(packet.data() + at);
        at += 4;
        return true;
    };
    uint32_t vendor = 0;
    if (!word(vendor) || vendor > packet.size() - at) return false;
    at += vendor;
    uint32_t comments = 0;
    if (!word(comments) || comments > (packet.size() - at) / 4) return false;
    for (uint32_t i = 0; i < comments; ++i) {
        uint32_t size = 0;
        if (!word(size) || size > packet.size() - at) return false;
        at += size;
    }
    return at < packet.size() && (packet[at] & 1) != 0;  // the framing bit
}

// Whether the first logical stream reaches its end-of-stream page. A file
// cut short loses it, yet decodes cleanly up to the cut, so nothing else
// would tell. Damaged stretches are skipped to the next page, as a reader
// of the stream would (the decode then reports where it broke off).
bool firstStreamEnds(const uint8_t* bytes, uint32_t length) {
    uint32_t offset = 0;
    uint32_t serial = 0;
    bool first = true;
    while (length - offset >= 27) {
        if (std::memcmp(bytes + offset, "OggS", 4) != 0) {
            static const uint8_t Capture[4] = {'O', 'g', 'g', 'S'};
            const uint8_t* next = std::search(bytes + offset + 1, bytes + length, Capture, Capture + 4);
            offset = uint32_t(next - bytes);
            continue;
        }
        const uint32_t segments = bytes[offset + 26];
        uint32_t pageLength = 27 + segments;
        if (length - offset < pageLength) return false;
        for (uint32_t s = 0; s < segments; ++s) pageLength += bytes[offset + 27 + s];
        if (length - offset < pageLength) return false;  // the last page is cut off
        uint32_t pageSerial;
        std::memcpy(&pageSerial, bytes + offset + 14, 4);
        if (first) serial = pageSerial;
        first = false;
        if (pageSerial == serial && (bytes[offset + 5] & 0x04) != 0) return true;
        offset += pageLength;
    }
    return false;
}

std::string oneDecimal(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

// Empty when the rate is one a soundtrack may have.
std::string rateProblem(uint32_t rate) {
    if (rate >= Wav::MinSampleRate && rate <= Wav::MaxSampleRate) return "";
    return "a sample rate of " + std::to_string(rate) + " Hz (" + std::to_string(Wav::MinSampleRate) + " to " +
           std::to_string(Wav::MaxSampleRate) + " Hz expected)";
}

// Empty when `frames` at `rate`, taking `bytes` in memory while they are
// decoded, stay within the limits; checked before anything is allocated.
std::string sizeProblem(uint64_t frames, uint32_t rate, uint64_t bytes) {
    if (frames == 0) return "holds no samples";
    if (frames > uint64_t(rate) * Wav::MaxSeconds)
        return oneDecimal(double(frames) / rate / 60.0) + " minutes of sound, more than the " +
               std::to_string(Wav::MaxSeconds / 60) + " a soundtrack may last";
    if (bytes > Wav::MaxDecodedBytes)
        return oneDecimal(double(bytes) / (1 << 20)) + " MiB of samples, more than the " +
               std::to_string(Wav::MaxDecodedBytes >> 20) + " MiB allowed";
    return "";
}

// What a WAVE format tag stands for, for the message that refuses it.
std::string waveFormatName(uint32_t tag) {
    switch (tag) {
    case 2:
        return "Microsoft ADPCM";
    case 3:
        return "floats";
    case 6:
        return "A-law";
    case 7:
        return "mu-law";
    case 0x11:
        return "IMA ADPCM";
    case 0x55:
        return "MP3";
    default: {
        char text[32];
        std::snprintf(text, sizeof text, "format tag 0x%04X", unsigned(tag));
        return text;
    }
    }
}

}  // namespace

AudioStatus Wav::loadFromPath(const char* path) {
    FILE* stream = std::fopen(path, "rb");
    if (stream == nullptr) return CannotOpenFile;
    DiskFile file(stream);
    return loadFromFile(file);
}

AudioStatus Wav::loadFromFile(File& file) {
    // Voices read data while they play: none may outlive the samples it reads.
    if (engine != nullptr) engine->stopSource(*this);
    clear();
    loadProblem.clear();

    char tag[4];
    if (!readExactly(file, tag, 4)) return UnreadableContent;
    if (std::memcmp(tag, "OggS", 4) == 0) {
        file.seekTo(0);
        const uint32_t start = file.position();
        file.seekTo(file.size());
        const uint32_t end = file.position();
        file.seekTo(start);
        if (end <= start || end - start > uint32_t(INT_MAX)) return UnreadableContent;
        const uint32_t length = end - start;
        if (length > MaxOggFileBytes) {
            loadProblem = oneDecimal(double(length) / (1 << 20)) + " MiB, more than the " +
                          std::to_string(MaxOggFileBytes >> 20) + " MiB an Ogg soundtrack may take";
            return UnreadableContent;
        }

        std::vector<uint8_t> copy;
        const uint8_t* bytes = nullptr;
        if (const void* block = file.memoryBlock(); block != nullptr) {
            bytes = static_cast<const uint8_t*>(block) + start;
        } else {
            copy.resize(length);
            if (!readExactly(file, copy.data(), length)) return UnreadableContent;
            bytes = copy.data();
        }
        if (!vorbisCommentsFit(bytes, length)) return UnreadableContent;
        // The decoder works in an arena of ours: its own allocations leak on
        // some malformed streams, and an arena bounds what a hostile header
        // can make it allocate. Grown only when the stream needs more.
        std::vector<char> arena(VorbisArenaStart);
        stb_vorbis* decoder = nullptr;
        for (;;) {
            int error = 0;
            stb_vorbis_alloc alloc{arena.data(), int(arena.size())};
            decoder = stb_vorbis_open_memory(bytes, int(length), &error, &alloc);
            if (decoder != nullptr || error != VORBIS_outofmem || arena.size() >= VorbisArenaLimit) break;
            arena.assign(arena.size() * 4, 0);
        }
        if (decoder == nullptr) return UnreadableContent;
        return decodeVorbis(decoder, length, firstStreamEnds(bytes, length));
    }
    if (std::memcmp(tag, "RIFF", 4) == 0) return parseRiffWave(file);
    return UnreadableContent;
}

AudioStatus Wav::decodeVorbis(stb_vorbis* decoder, uint32_t fileBytes, bool ended) {
    const stb_vorbis_info info = stb_vorbis_get_info(decoder);
    const uint64_t declared = stb_vorbis_stream_length_in_samples(decoder);
    const uint32_t keep = info.channels > 1 ? 2 : 1;
    if (info.channels < 1 || declared > uint64_t(fileBytes) * MaxVorbisFramesPerByte) {
        stb_vorbis_close(decoder);
        return UnreadableContent;
    }
    loadProblem = rateProblem(info.sample_rate);
    // The decoder takes the six channels of 5.1 streams apart wrongly (even
    // the fronts come out as noise), so these are refused rather than played.
    if (loadProblem.empty() && info.channels == 6)
        loadProblem = "5.1 surround sound (6 channels), which the decoder cannot separate; stereo or mono expected";
    // Cut short: the length comes from the last whole page, which is not the last one.
    if (loadProblem.empty() && !ended)
        loadProblem =
            "ends after " + oneDecimal(double(declared) / info.sample_rate) + " s, before its last page (cut short?)";
    if (loadProblem.empty()) loadProblem = sizeProblem(declared, info.sample_rate, declared * keep * sizeof(float));
    if (!loadProblem.empty()) {
        stb_vorbis_close(decoder);
        return UnreadableContent;
    }
    const uint32_t n = uint32_t(declared);
    // Vorbis fixes the channel order: with three, five, seven or eight
    // channels the front right is the third (left, centre, right, ...);
    // with four it is the second. The left and right fronts are kept.
    const int right = info.channels == 3 || (info.channels >= 5 && info.channels <= 8) ? 2 : 1;

    // Left uninitialised: only what is decoded is ever touched or kept.
    std::unique_ptr<float[]> samples(n > 0 ? new float[size_t(keep) * n] : nullptr);
    uint32_t pos = 0;
    while (pos < n) {
        int channels = 0;
        float** output = nullptr;
        const int decoded = stb_vorbis_get_frame_float(decoder, &channels, &output);
        if (decoded <= 0) break;
        // Whatever decodes past the declared length is dropped.
        const uint32_t k = std::min(uint32_t(decoded), n - pos);
        std::memcpy(samples.get() + pos, output[0], k * sizeof(float));
        if (keep == 2) std::memcpy(samples.get() + n + pos, output[right], k * sizeof(float));
        pos += k;
    }
    stb_vorbis_close(decoder);

    // A stream that stops decoding before the length its last page declares
    // is damaged or cut: playing what decoded would end the demo early and
    // look like success.
    if (pos < n) {
        char where[96];
        std::snprintf(where, sizeof where, "the sound stops decoding at %.1f s of its %.1f s (damaged or cut short)",
                      double(pos) / info.sample_rate, double(n) / info.sample_rate);
        loadProblem = where;
        return UnreadableContent;
    }
    baseSampleRate = float(info.sample_rate);
    channelCount = keep;
    sampleCount = pos;
    if (pos > 0) data = std::move(samples);
    return Success;
}

AudioStatus Wav::parseRiffWave(File& file) {
    uint32_t riffSize = 0;
    if (!readU32(file, riffSize) || !readTag(file, "WAVE") || !readTag(file, "fmt ")) return UnreadableContent;

    uint32_t chunkSize = 0, formatTag = 0, channels = 0, rate = 0, byteRate = 0, blockAlign = 0, bits = 0;
    if (!readU32(file, chunkSize) || !readU16(file, formatTag) || !readU16(file, channels) || !readU32(file, rate) ||
        !readU32(file, byteRate) || !readU16(file, blockAlign) || !readU16(file, bits))
        return UnreadableContent;
    if (chunkSize < 16) return UnreadableContent;
    // The extensible format names its sample format by a GUID whose first
    // two bytes are the plain format tag; the 18-byte format chunk only adds
    // the size of an extension. Anything past what is read is skipped.
    uint32_t format = formatTag;
    uint32_t rest = chunkSize - 16;
    if (formatTag == 0xFFFE && chunkSize >= 40) {
        static const uint8_t GuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                             0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        uint8_t extension[24];
        if (!readExactly(file, extension, 24)) return UnreadableContent;
        format = std::memcmp(extension + 10, GuidTail, 14) == 0 ? uint32_t(extension[8] | extension[9] << 8) : 0xFFFE;
        rest -= 24;
    }
    const uint32_t afterFormat = file.position();
    const uint32_t fileBytes = file.size();
    const uint32_t skip = rest + (chunkSize & 1);  // chunks are padded to even sizes
    if (afterFormat > fileBytes || skip > fileBytes - afterFormat) return UnreadableContent;
    if (skip > 0) file.seekTo(afterFormat + skip);
    if (format != 1 || (bits != 8 && bits != 16)) {
        // 24- and 32-bit, float and compressed WAVE files are WAVE all the same: say what is taken.
        loadProblem = "8- or 16-bit PCM WAVE expected";
        if (format != 1)
            loadProblem += " (this one holds " + waveFormatName(format) + ")";
        else
            loadProblem += " (this one is " + std::to_string(bits) + "-bit)";
        return UnreadableContent;
    }
    // No frame count without channels.
    if (channels == 0) return UnreadableContent;
    loadProblem = rateProblem(rate);
    if (!loadProblem.empty()) return UnreadableContent;

    char id[4];
    if (!readExactly(file, id, 4)) return UnreadableContent;
    if (std::memcmp(id, "LIST", 4) == 0) {
        uint32_t listSize = 0;
        if (!readU32(file, listSize)) return UnreadableContent;
        const uint32_t here = file.position();
        const uint32_t total = file.size();
        if (here > total || listSize > total - here) return UnreadableContent;
        file.seekTo(here + listSize);
        if (!readExactly(file, id, 4)) return UnreadableContent;
    }
    if (std::memcmp(id, "data", 4) != 0) return UnreadableContent;

    uint32_t dataSize = 0;
    if (!readU32(file, dataSize)) return UnreadableContent;
    const uint32_t here = file.position();
    const uint32_t total = file.size();
    if (here > total || dataSize > total - here) return UnreadableContent;

    const uint32_t bytesPerSample = bits / 8;
    const uint32_t n = dataSize / bytesPerSample / channels;
    const uint32_t keep = channels > 1 ? 2 : 1;
    const size_t used = size_t(n) * channels * bytesPerSample;
    loadProblem = sizeProblem(n, rate, std::max<uint64_t>(used, uint64_t(n) * keep * sizeof(float)));
    if (!loadProblem.empty()) return UnreadableContent;
    std::vector<uint8_t> raw(used);
    if (used > 0 && !readExactly(file, raw.data(), uint32_t(used))) return UnreadableContent;

    std::unique_ptr<float[]> samples(n > 0 ? new float[size_t(keep) * n] : nullptr);
    const uint8_t* in = raw.data();
    for (uint32_t i = 0; i < n; ++i) {
        for (uint32_t ch = 0; ch < channels; ++ch) {
            float value;
            if (bytesPerSample == 1) {
                value = float(int32_t(in[0]) - 128) * 0.0078125f;
            } else {
                const int16_t sample = int16_t(uint16_t(in[0] | in[1] << 8));
                value = float(sample) * 0.000030517578f;
            }
            in += bytesPerSample;
            if (ch < keep) samples[size_t(ch) * n + i] = value;
        }
    }
    channelCount = keep;
    sampleCount = n;
    baseSampleRate = float(rate);
    data = std::move(samples);
    return Success;
}

}  // namespace Aurix
