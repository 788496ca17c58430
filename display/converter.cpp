#include "display/converter.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>

namespace {

// Bytes of a temporary picture of w x h pixels, counted in 32 bits. Any
// overflow, the final multiplication by 4 included, yields 0xFFFFFFFF so that
// the allocation fails instead of handing back a short block.
uint32_t pictureBytes(int64_t w, int64_t h) {
    if (w <= 0 || h <= 0) return 0;
    const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    if (pixels > UINT32_MAX / 4) return UINT32_MAX;
    return static_cast<uint32_t>(pixels) * 4u;
}

// The box filter drops each channel's two low bits first, so four channels
// add up to at most 1008 and one 32-bit sum carries all three channels.
constexpr uint32_t ChannelMask = 0xFCFCFC;

}  // namespace

void* PKR_TCConverter::allocateOrAbort(uint32_t bytes) {
    // A wider size_t could grant 0xFFFFFFFF bytes, which would still be short
    // of what an overflowed count stands for, so that request always fails.
    void* block = bytes == UINT32_MAX ? nullptr : std::malloc(bytes != 0 ? bytes : 1);
    if (block == nullptr) {
        std::fprintf(stderr, "hazelglow: out of memory allocating %lu bytes\n", static_cast<unsigned long>(bytes));
        std::abort();
    }
    return block;
}

PKR_TCConverter::~PKR_TCConverter() {
    std::free(scratch);
}

uint32_t* PKR_TCConverter::scratchPicture(uint32_t bytes) {
    // An overflowed count always goes to the allocator, which refuses it.
    if (scratch == nullptr || bytes > scratchBytes) {
        std::free(scratch);
        scratch = static_cast<uint32_t*>(allocateOrAbort(bytes));
        scratchBytes = bytes;
    }
    return scratch;
}

void PKR_TCConverter::convertLowRes(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                                    int32_t cellRow, uint16_t* cells) {
    const int32_t w = rect->right - rect->left;
    const int32_t h = rect->bottom - rect->top;
    const int64_t tempPitch = 2 * static_cast<int64_t>(w);
    uint32_t* temp = scratchPicture(pictureBytes(tempPitch, 2 * static_cast<int64_t>(h)));

    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* src = pixels + static_cast<std::ptrdiff_t>(rect->top + y) * pitch + rect->left;
        uint32_t* upper = temp + 2 * y * tempPitch;
        uint32_t* lower = upper + tempPitch;
        for (int32_t x = 0; x < w; ++x) {
            const uint32_t p = src[x];
            upper[2 * x] = p;
            upper[2 * x + 1] = p;
            lower[2 * x] = p;
            lower[2 * x + 1] = p;
        }
    }

    const SourceRect doubled{0, 0, 2 * w, 2 * h};
    convertCells(temp, &doubled, 2 * w, cellColumn, cellRow, cells);
}

void PKR_TCConverter::convertHighRes(const uint32_t* pixels, const SourceRect* rect, int32_t pitch, int32_t cellColumn,
                                     int32_t cellRow, uint16_t* cells) {
    const int32_t w = (rect->right - rect->left) / 2;
    const int32_t h = (rect->bottom - rect->top) / 2;
    uint32_t* temp = scratchPicture(pictureBytes(w, h));

    for (int32_t y = 0; y < h; ++y) {
        const uint32_t* upper = pixels + static_cast<std::ptrdiff_t>(rect->top + 2 * y) * pitch + rect->left;
        const uint32_t* lower = upper + pitch;
        uint32_t* out = temp + static_cast<std::ptrdiff_t>(y) * w;
        for (int32_t x = 0; x < w; ++x) {
            out[x] = ((upper[2 * x] & ChannelMask) + (upper[2 * x + 1] & ChannelMask) + (lower[2 * x] & ChannelMask) +
                      (lower[2 * x + 1] & ChannelMask)) >>
                     2;
        }
    }

    const SourceRect halved{0, 0, w, h};
    convertCells(temp, &halved, w, cellColumn, cellRow, cells);
}
