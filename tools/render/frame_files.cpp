// --dump and --png: one file per frame into a directory the user named.
#include <cerrno>
#include <cstring>
#include <vector>

#include <stb_image_write.h>

#include "display/cell_picture.h"
#include "effects/buffers.h"
#include "tools/render/frame_outputs.h"
#include "tools/render/frame_terminal.h"

namespace {

std::string framePath(const std::string& dir, const char* prefix, int n, const char* suffix) {
    return dir + "/" + prefix + std::to_string(n) + suffix;
}

bool writeFile(const std::string& path, const void* bytes, size_t count) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        std::fprintf(stderr, "hazelglow-render: %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    const bool ok = std::fwrite(bytes, 1, count, file) == count;
    if (std::fclose(file) != 0 || !ok) {
        std::fprintf(stderr, "hazelglow-render: %s: write failed\n", path.c_str());
        return false;
    }
    return true;
}

// Raw little-endian words, as they lie in memory on the machines we build for.
class DumpOutput final : public FrameOutput {
public:
    explicit DumpOutput(std::string dir) : dir_(std::move(dir)) {}
    bool frame(int n, int32_t) override {
        uint8_t fb[ScreenPixels * 4];
        for (int i = 0; i < ScreenPixels; ++i)
            for (int b = 0; b < 4; ++b) fb[i * 4 + b] = static_cast<uint8_t>(FrameBuffer[i] >> (8 * b));
        uint8_t cells[CellCount * 2];
        for (int i = 0; i < CellCount; ++i) {
            cells[i * 2] = static_cast<uint8_t>(CellBuffer[i]);
            cells[i * 2 + 1] = static_cast<uint8_t>(CellBuffer[i] >> 8);
        }
        return writeFile(framePath(dir_, "fb_", n, ".raw"), fb, sizeof fb) &&
               writeFile(framePath(dir_, "cells_", n, ".raw"), cells, sizeof cells);
    }

private:
    std::string dir_;
};

class PngOutput final : public FrameOutput {
public:
    PngOutput(std::string dir, const TerminalSpec& terminal, const PKR_AsciiArt* converter)
        : dir_(std::move(dir)), frames_(ColourMode::Ansi16, terminal, converter) {
        const Viewport& v = frames_.picture().frames().viewport();
        width_ = v.columns * GlyphWidth;
        height_ = v.rows * GlyphHeight;
        rgb_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
    }
    bool frame(int n, int32_t) override {
        const Viewport& v = frames_.picture().frames().viewport();
        const int pitch = frames_.picture().grid().columns;
        drawCells(frames_.cells() + v.sourceRow * pitch + v.sourceColumn, v.columns, v.rows, pitch, rgb_.data());
        const std::string path = framePath(dir_, "frame_", n, ".png");
        if (stbi_write_png(path.c_str(), width_, height_, 3, rgb_.data(), width_ * 3) == 0) {
            std::fprintf(stderr, "hazelglow-render: %s: cannot write the picture\n", path.c_str());
            return false;
        }
        return true;
    }

private:
    std::string dir_;
    TerminalPresentation frames_;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> rgb_;
};

}  // namespace

std::unique_ptr<FrameOutput> makeDumpOutput(const std::string& dir) {
    return std::make_unique<DumpOutput>(dir);
}

std::unique_ptr<FrameOutput> makePngOutput(const std::string& dir, const TerminalSpec& terminal,
                                           const PKR_AsciiArt* converter) {
    return std::make_unique<PngOutput>(dir, terminal, converter);
}
