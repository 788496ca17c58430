#include "effects/buffers.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <stb_image.h>

uint32_t FrameBuffer[ScreenPixels];
uint32_t FeedbackBuffer[ScreenPixels];
uint32_t ZoomSourceBuffer[ScreenPixels];
uint16_t CellBuffer[CellCount];

ImageStrip wipeStrip;
ImageStrip textStrip;

namespace {

constexpr unsigned char PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// Signature and the IHDR chunk, which stb_image reads the size from.
constexpr size_t PngHeaderBytes = 8 + 4 + 4 + 13 + 4;
// The largest strip, stored without compression, with room for the
// chunks around its pixels; anything bigger is not one of ours.
constexpr size_t MaxStripFileBytes = 64u * 1024 * 1024;

uint32_t bigEndian32(const unsigned char* bytes) {
    return uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 | uint32_t(bytes[2]) << 8 | uint32_t(bytes[3]);
}

// True when the file's chunks run whole up to IEND: a file cut short
// says so rather than failing somewhere inside the decoder.
bool pngChunksComplete(const unsigned char* file, size_t size) {
    size_t at = sizeof PngSignature;
    while (size - at >= 12) {
        const uint32_t length = bigEndian32(file + at);
        if (length > size - at - 12) return false;
        if (std::memcmp(file + at + 4, "IEND", 4) == 0) return true;
        at += 12 + size_t(length);
    }
    return false;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Worked when the bytes start like a strip: a PNG signature and a header
// chunk claiming width 320 and 1 to MaxStripFrames whole frames. The size
// comes straight from IHDR: stb_image's own header reader refuses very
// large sizes without saying what they are.
Result checkStripHeader(const std::string& name, const unsigned char* bytes, size_t size) {
    if (size < sizeof PngSignature || std::memcmp(bytes, PngSignature, sizeof PngSignature) != 0)
        return Result::failed(name, "not a PNG image");
    if (size < PngHeaderBytes || std::memcmp(bytes + 12, "IHDR", 4) != 0)
        return Result::failed(name, "the PNG file is cut short or its header is damaged");
    const uint32_t width = bigEndian32(bytes + 16);
    const uint32_t height = bigEndian32(bytes + 20);
    if (width == ScreenWidth && height > 0 && height % ScreenHeight == 0 && height / ScreenHeight <= MaxStripFrames)
        return Result::ok();
    return Result::failed(name, "the image is " + std::to_string(width) + "x" + std::to_string(height) +
                                    " pixels; a strip is 320 pixels wide and 1 to " + std::to_string(MaxStripFrames) +
                                    " frames of 200 rows high");
}

}  // namespace

Result loadImageStripFromMemory(const uint8_t* bytes, size_t size, const std::string& name, ImageStrip& strip) {
    strip = ImageStrip{};
    if (size == 0) return Result::failed(name, "the file is empty");
    if (Result header = checkStripHeader(name, bytes, size); !header) return header;
    if (size > MaxStripFileBytes) return Result::failed(name, "the file is too large for a 320-pixel strip");
    if (!pngChunksComplete(bytes, size)) return Result::failed(name, "the PNG file is cut short");

    int width = 0, height = 0, fileChannels = 0;
    stbi_uc* pixels = stbi_load_from_memory(bytes, int(size), &width, &height, &fileChannels, 4);
    if (pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        return Result::failed(name, std::string("the PNG image is damaged") +
                                        (reason != nullptr && *reason != '\0' ? std::string(" (") + reason + ")" : ""));
    }
    if (width != ScreenWidth || height % ScreenHeight != 0 || height / ScreenHeight < 1 ||
        height / ScreenHeight > MaxStripFrames) {
        stbi_image_free(pixels);
        return Result::failed(name, "the PNG image is damaged");
    }
    strip.pixels = pixels;
    strip.frameCount = height / ScreenHeight;
    return Result::ok();
}

Result loadImageStrip(const char* path, ImageStrip& strip) {
    strip = ImageStrip{};
    // Asked before opening: opening a FIFO would wait for a writer.
    struct stat info {};
    if (stat(path, &info) == 0 && !S_ISREG(info.st_mode))
        return Result::failed(path, S_ISDIR(info.st_mode) ? "a directory, not a PNG image" : "not a regular file");
    errno = 0;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path, "rb"));
    if (!file) return Result::failed(path, errno != 0 ? std::strerror(errno) : "cannot open the file");
    long size = -1;
    if (std::fseek(file.get(), 0, SEEK_END) == 0) size = std::ftell(file.get());
    if (size < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return Result::failed(path, "cannot read the file");
    if (size == 0) return Result::failed(path, "the file is empty");

    // The header alone first: the size it claims is checked before the rest
    // is read, and before a byte of pixels is decoded or allocated.
    std::vector<unsigned char> bytes(std::min(size_t(size), PngHeaderBytes));
    if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        return Result::failed(path, "cannot read the file");
    if (Result header = checkStripHeader(path, bytes.data(), bytes.size()); !header) return header;
    if (size_t(size) > MaxStripFileBytes) return Result::failed(path, "the file is too large for a 320-pixel strip");
    bytes.resize(size_t(size));
    const size_t rest = bytes.size() - PngHeaderBytes;
    if (std::fread(bytes.data() + PngHeaderBytes, 1, rest, file.get()) != rest)
        return Result::failed(path, "cannot read the file");
    return loadImageStripFromMemory(bytes.data(), bytes.size(), path, strip);
}
