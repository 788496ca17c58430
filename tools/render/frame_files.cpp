// --dump and --png: one file per frame into a directory the user named.
#include <algorithm>
#include <cstdio>
#include <vector>

#include <stb_image_write.h>

#include "display/cell_picture.h"
#include "effects/buffers.h"
#include "tools/render/frame_outputs.h"
#include "tools/render/frame_terminal.h"
#include "tools/render/output_file.h"

namespace {

std::string framePath(const std::string& dir, const char* prefix, int n, const char* suffix) {
    return dir + "/" + prefix + std::to_string(n) + suffix;
}

// Raw little-endian words, as they lie in memory on the machines we build for.
class DumpOutput final : public FrameOutput {
public:
    explicit DumpOutput(std::string dir) : dir_(std::move(dir)) {}
    Result frame(int n, int32_t) override {
        uint8_t fb[ScreenPixels * 4];
        for (int i = 0; i < ScreenPixels; ++i)
            for (int b = 0; b < 4; ++b) fb[i * 4 + b] = static_cast<uint8_t>(FrameBuffer[i] >> (8 * b));
        uint8_t cells[CellCount * 2];
        for (int i = 0; i < CellCount; ++i) {
            cells[i * 2] = static_cast<uint8_t>(CellBuffer[i]);
            cells[i * 2 + 1] = static_cast<uint8_t>(CellBuffer[i] >> 8);
        }
        if (Result written = writeWholeFile(framePath(dir_, "fb_", n, ".raw"), fb, sizeof fb); !written) return written;
        return writeWholeFile(framePath(dir_, "cells_", n, ".raw"), cells, sizeof cells);
    }

private:
    std::string dir_;
};

// A terminal's cell in pixels: the 8x12 glyph stretched to the cell's
// shape, never shrunk (so no glyph row or column is lost); the console's
// cells stay 8x12. At most MaxCellPixels each way.
constexpr int64_t MaxCellPixels = 96;
void cellPixelsFor(CellShape shape, int& width, int& height) {
    int64_t w = GlyphWidth, h = (2 * GlyphWidth * shape.height + shape.width) / (2 * shape.width);
    if (h < GlyphHeight) {
        h = GlyphHeight;
        w = (2 * GlyphHeight * shape.width + shape.height) / (2 * shape.height);
    }
    width = static_cast<int>(std::min(w, MaxCellPixels));
    height = static_cast<int>(std::min(h, MaxCellPixels));
}

class PngOutput final : public FrameOutput {
public:
    PngOutput(std::string dir, const TerminalSpec& terminal, const PKR_AsciiArt* converter)
        : dir_(std::move(dir)), frames_(ColourMode::Ansi16, terminal, converter) {
        const Viewport& v = frames_.picture().frames().viewport();
        cellPixelsFor(terminal.shape, cellWidth_, cellHeight_);
        glyphs_.resize(static_cast<size_t>(v.columns) * GlyphWidth * static_cast<size_t>(v.rows) * GlyphHeight * 3);
        width_ = v.columns * cellWidth_;
        height_ = v.rows * cellHeight_;
        rgb_.resize(static_cast<size_t>(width_) * static_cast<size_t>(height_) * 3);
    }
    Result frame(int n, int32_t) override {
        const Viewport& v = frames_.picture().frames().viewport();
        const int pitch = frames_.picture().grid().columns;
        drawCells(frames_.cells() + v.sourceRow * pitch + v.sourceColumn, v.columns, v.rows, pitch, glyphs_.data());
        stretchCells(v.columns * GlyphWidth);
        OutputFile file(framePath(dir_, "frame_", n, ".png"));
        if (Result opened = file.status(); !opened) return opened;
        // The encoder hands its bytes to the file, which keeps the first failed write.
        const auto toFile = [](void* context, void* bytes, int count) {
            (void)static_cast<OutputFile*>(context)->write(bytes, static_cast<size_t>(count));
        };
        if (stbi_write_png_to_func(toFile, &file, width_, height_, 3, rgb_.data(), width_ * 3) == 0) {
            if (Result written = file.status(); !written) return written;
            return Result::failed(file.path(), "cannot encode the picture");
        }
        return file.commit();
    }

private:
    // Nearest pixel of the 8x12 drawing for each pixel of the cell's shape.
    void stretchCells(int glyphsWidth) {
        if (cellWidth_ == GlyphWidth && cellHeight_ == GlyphHeight) {
            rgb_ = glyphs_;
            return;
        }
        uint8_t* out = rgb_.data();
        for (int y = 0; y < height_; ++y) {
            const int sourceY = y / cellHeight_ * GlyphHeight + y % cellHeight_ * GlyphHeight / cellHeight_;
            const uint8_t* row = glyphs_.data() + static_cast<size_t>(sourceY) * static_cast<size_t>(glyphsWidth) * 3;
            for (int x = 0; x < width_; ++x, out += 3) {
                const int sourceX = x / cellWidth_ * GlyphWidth + x % cellWidth_ * GlyphWidth / cellWidth_;
                std::copy_n(row + sourceX * 3, 3, out);
            }
        }
    }

    std::string dir_;
    TerminalPresentation frames_;
    int cellWidth_ = GlyphWidth, cellHeight_ = GlyphHeight;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> glyphs_;  // the cells drawn 8x12 each
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
