#include "tools/render/frame_terminal.h"

#include <algorithm>
#include <vector>

#include "display/cp437_utf8.h"
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
    AnsiOutput(const std::string& path, ColourMode mode) : file_(path), frames_(mode) {}
    bool frame(int, int32_t) override { return file_.write(frames_.build(CellBuffer)); }
    bool finish() override { return file_.commit(); }

private:
    OutputFile file_;
    AnsiFrameBuilder frames_;
};

class CastOutput final : public FrameOutput {
public:
    CastOutput(const std::string& path, ColourMode mode) : file_(path), frames_(mode) {
        ok_ = file_.write("{\"version\": 2, \"width\": 80, \"height\": 50, \"title\": " + jsonString(demoTitle()) +
                          "}\n");
    }
    bool frame(int, int32_t t) override {
        char time[32];
        std::snprintf(time, sizeof time, "[%d.%03d, \"o\", ", t / 1000, t % 1000);
        ok_ = ok_ && file_.write(time) && file_.write(jsonString(frames_.build(CellBuffer))) && file_.write("]\n");
        return ok_;
    }
    bool finish() override { return ok_ && file_.commit(); }

private:
    OutputFile file_;
    AnsiFrameBuilder frames_;
    bool ok_ = false;
};

class TerminalBytes final : public FrameOutput {
public:
    explicit TerminalBytes(FILE* out) : out_(out) {
        for (int k = 0; k < 4; ++k)
            ways_[k].builder = std::make_unique<AnsiFrameBuilder>(k < 2 ? ColourMode::Ansi16 : ColourMode::TrueColour);
    }

    bool frame(int, int32_t) override {
        for (int k = 0; k < 4; ++k) {
            Way& way = ways_[k];
            if (k % 2 == 1) way.builder->repaintAll();
            way.sizes.push_back(way.builder->build(CellBuffer).size());
        }
        return true;
    }

    bool finish() override {
        if (ways_[0].sizes.empty()) return true;
        std::fprintf(out_, "terminal bytes per frame, 80x50 terminal, %zu frames\n", ways_[0].sizes.size());
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
    Way ways_[4];  // 16 colours diffed, full; truecolour diffed, full
};

}  // namespace

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

std::unique_ptr<FrameOutput> makeAnsiOutput(const std::string& path, ColourMode mode) {
    return std::make_unique<AnsiOutput>(path, mode);
}

std::unique_ptr<FrameOutput> makeCastOutput(const std::string& path, ColourMode mode) {
    return std::make_unique<CastOutput>(path, mode);
}

std::unique_ptr<FrameOutput> makeTerminalBytesOutput(FILE* out) {
    return std::make_unique<TerminalBytes>(out);
}
