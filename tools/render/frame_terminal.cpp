#include "tools/render/frame_terminal.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "display/ascii_art.h"
#include "display/cp437_utf8.h"
#include "display/terminal_picture.h"
#include "display/titles.h"
#include "effects/buffers.h"
#include "tools/render/output_file.h"

namespace {

// The demo's own title, as a UTF-8 string.
std::string demoTitle() {
    char utf8[128];
    cp437ToUtf8(DemoTitle, utf8, sizeof utf8);
    return utf8;
}

class AnsiOutput final : public FrameOutput {
public:
    AnsiOutput(const std::string& path, ColourMode mode, const TerminalSpec& terminal, const PKR_AsciiArt* converter)
        : file_(path), frames_(mode, terminal, converter) {}
    Result frame(int, int32_t) override { return file_.write(frames_.build()); }
    Result finish() override { return file_.commit(); }

private:
    OutputFile file_;
    TerminalPresentation frames_;
};

class CastOutput final : public FrameOutput {
public:
    CastOutput(const std::string& path, ColourMode mode, const TerminalSpec& terminal, const PKR_AsciiArt* converter)
        : file_(path), frames_(mode, terminal, converter) {
        // A failure here is kept by the file and answered by the first frame or the finish.
        (void)file_.write("{\"version\": 2, \"width\": " + std::to_string(terminal.columns) + ", \"height\": " +
                          std::to_string(terminal.rows) + ", \"title\": " + jsonString(demoTitle()) + "}\n");
    }
    Result frame(int, int32_t t) override {
        char time[32];
        std::snprintf(time, sizeof time, "[%d.%03d, \"o\", ", t / 1000, t % 1000);
        if (Result written = file_.write(time); !written) return written;
        if (Result written = file_.write(jsonString(frames_.build())); !written) return written;
        return file_.write("]\n");
    }
    Result finish() override { return file_.commit(); }

private:
    OutputFile file_;
    TerminalPresentation frames_;
};

class TerminalBytes final : public FrameOutput {
public:
    TerminalBytes(FILE* out, const TerminalSpec& terminal, const PKR_AsciiArt* converter)
        : out_(out), terminal_(terminal), cells_(ColourMode::Ansi16, terminal, converter) {
        const PictureGrid& grid = cells_.picture().grid();
        for (int k = 0; k < 4; ++k) {
            ways_[k].builder = std::make_unique<AnsiFrameBuilder>(k < 2 ? ColourMode::Ansi16 : ColourMode::TrueColour,
                                                                  terminal.columns, terminal.rows);
            ways_[k].builder->setGrid(grid.columns, grid.rows);
        }
    }

    Result frame(int, int32_t) override {
        const uint16_t* cells = cells_.cells();
        for (int k = 0; k < 4; ++k) {
            Way& way = ways_[k];
            if (k % 2 == 1) way.builder->repaintAll();
            way.sizes.push_back(way.builder->build(cells).size());
        }
        return Result::ok();
    }

    Result finish() override {
        if (ways_[0].sizes.empty()) return Result::ok();
        const PictureGrid& grid = cells_.picture().grid();
        char fitted[48] = "";
        if (!grid.exact) std::snprintf(fitted, sizeof fitted, " (the picture at %dx%d)", grid.columns, grid.rows);
        std::fprintf(out_, "terminal bytes per frame, %dx%d terminal%s, %zu frames\n", terminal_.columns,
                     terminal_.rows, fitted, ways_[0].sizes.size());
        std::fprintf(out_, "%-11s %-8s %10s %10s %10s %12s\n", "colours", "cells", "mean", "median", "max", "total");
        for (int k = 0; k < 4; ++k) {
            std::vector<size_t> v = ways_[k].sizes;
            double total = 0;
            for (size_t n : v) total += static_cast<double>(n);
            std::sort(v.begin(), v.end());
            std::fprintf(out_, "%-11s %-8s %10.0f %10zu %10zu %12.0f\n", k < 2 ? "16" : "truecolour",
                         k % 2 == 0 ? "changed" : "all", total / static_cast<double>(v.size()), v[(v.size() - 1) / 2],
                         v.back(), total);
        }
        return flushStream(out_, "standard output");
    }

private:
    struct Way {
        std::unique_ptr<AnsiFrameBuilder> builder;
        std::vector<size_t> sizes;
    };
    FILE* out_;
    TerminalSpec terminal_;
    TerminalPresentation cells_;
    Way ways_[4];  // 16 colours diffed, full; truecolour diffed, full
};

}  // namespace

TerminalPresentation::TerminalPresentation(ColourMode mode, const TerminalSpec& terminal, const PKR_AsciiArt* converter)
    : picture_(mode, terminal.fit, terminal.columns, terminal.rows, terminal.shape), converter_(converter) {}

const uint8_t* TerminalPresentation::glyphLut() const {
    return converter_ != nullptr ? converter_->glyphLut : nullptr;
}

std::string jsonString(std::string_view utf8) {
    std::string json = "\"";
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (byte < 0x20 || byte == 0x7F) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            json += escape;
        } else {
            json += c;
        }
    }
    return json + "\"";
}

std::unique_ptr<FrameOutput> makeAnsiOutput(const std::string& path, ColourMode mode, const TerminalSpec& terminal,
                                            const PKR_AsciiArt* converter) {
    return std::make_unique<AnsiOutput>(path, mode, terminal, converter);
}

std::unique_ptr<FrameOutput> makeCastOutput(const std::string& path, ColourMode mode, const TerminalSpec& terminal,
                                            const PKR_AsciiArt* converter) {
    return std::make_unique<CastOutput>(path, mode, terminal, converter);
}

std::unique_ptr<FrameOutput> makeTerminalBytesOutput(FILE* out, const TerminalSpec& terminal,
                                                     const PKR_AsciiArt* converter) {
    return std::make_unique<TerminalBytes>(out, terminal, converter);
}

bool parseSize(const char* text, char separator, int low, int high, int& width, int& height) {
    char* end = nullptr;
    errno = 0;
    const long w = std::strtol(text, &end, 10);
    if (end == text || *end != separator || errno != 0) return false;
    const char* second = end + 1;
    const long h = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || errno != 0) return false;
    if (w < low || w > high || h < low || h > high) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}
