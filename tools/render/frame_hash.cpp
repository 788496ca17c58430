#include "tools/render/frame_outputs.h"

#include <cinttypes>

#include "effects/buffers.h"
#include "tools/render/output_file.h"

uint64_t fnv1a64(const void* bytes, size_t count, uint64_t hash) {
    const auto* p = static_cast<const uint8_t*>(bytes);
    for (size_t i = 0; i < count; ++i) {
        hash ^= p[i];
        hash *= 0x100000001b3ull;
    }
    return hash;
}

uint64_t frameBufferHash() {
    uint64_t hash = FnvOffsetBasis;
    for (uint32_t word : FrameBuffer) {
        const uint32_t pixel = word & 0x00FFFFFFu;
        const uint8_t bytes[4] = {uint8_t(pixel), uint8_t(pixel >> 8), uint8_t(pixel >> 16), uint8_t(pixel >> 24)};
        hash = fnv1a64(bytes, 4, hash);
    }
    return hash;
}

uint64_t cellBufferHash() {
    uint64_t hash = FnvOffsetBasis;
    for (uint16_t cell : CellBuffer) {
        const uint8_t bytes[2] = {uint8_t(cell), uint8_t(cell >> 8)};
        hash = fnv1a64(bytes, 2, hash);
    }
    return hash;
}

namespace {

class HashOutput final : public FrameOutput {
public:
    explicit HashOutput(FILE* out) : out_(out) {}
    Result frame(int n, int32_t t) override {
        if (std::fprintf(out_, "%d %" PRId32 " %016" PRIx64 " %016" PRIx64 "\n", n, t, frameBufferHash(),
                         cellBufferHash()) >= 0)
            return Result::ok();
        Result flushed = flushStream(out_, "standard output");  // says why
        return flushed ? Result::failed("standard output", "write failed") : flushed;
    }
    Result finish() override { return flushStream(out_, "standard output"); }

private:
    FILE* out_;
};

}  // namespace

std::unique_ptr<FrameOutput> makeHashOutput(FILE* out) {
    return std::make_unique<HashOutput>(out);
}
