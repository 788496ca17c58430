// The two image strips: text pictures rendered from a TrueType font, and the
// scene-change wipe masks.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include <stb_image_write.h>
#include <stb_truetype.h>

#include "tools/datagen/datagen.h"

namespace datagen {
namespace {

// Text must stay this far from the screen's edges: the overlay cuts a halo
// of up to 9 pixels around every lit pixel, and the halo should not touch
// the border either.
constexpr int Margin = 14;
constexpr int MaxLineWidth = FrameWidth - 2 * Margin;
// A line wider than MaxLineWidth is condensed horizontally, never by more
// than this, so the letters keep their shape.
constexpr float MaxCondense = 0.78f;

struct TextLine {
    const char* utf8;
    float size;    // em size in pixels
    int baseline;  // pixel row of the baseline
};

struct TextFrame {
    std::vector<TextLine> lines;
};

// Sizes: the converter shows 4x4 pixels per cell, so capitals need 24 or
// more pixels and strokes about 6 to read as letters. DejaVu Sans Bold has
// capitals 0.73 em tall and stems 0.17 em wide: 36 px gives 26 and 6.
const TextFrame TextFrames[TextFrameCount] = {
    // 0: scene 1, the opening.
    {{{"rUUX & V\xC3\xB6rnik\xC3\xB6", 38.0f, 96}, {"present", 36.0f, 146}}},
    // 1: scene 2, the title.
    {{{"HAZEL", 62.0f, 94}, {"GLOW", 62.0f, 160}}},
    // 2: scene 6, credits.
    {{{"code  rUUX", 36.0f, 64}, {"music  V\xC3\xB6rnik\xC3\xB6", 36.0f, 114}, {"graphics  rUUX", 36.0f, 164}}},
    // 3 and 4: scene 8, greetings, alternating once a second.
    // Each page shows for a second over the busiest scene: two big lines.
    {{{"greetings to", 46.0f, 84}, {"TMDC", 68.0f, 156}}},
    {{{"and the whole", 46.0f, 84}, {"demoscene", 54.0f, 150}}},
    // 5: scene 11, the farewell.
    {{{"ZKPW07", 64.0f, 100}, {"see you soon", 38.0f, 158}}},
};

std::vector<int> decodeUtf8(const char* text) {
    std::vector<int> codepoints;
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    while (*p != 0) {
        if (*p < 0x80) {
            codepoints.push_back(*p++);
        } else if ((*p & 0xE0) == 0xC0 && p[1] != 0) {
            codepoints.push_back(((p[0] & 0x1F) << 6) | (p[1] & 0x3F));
            p += 2;
        } else {  // the texts use Latin-1 letters only
            codepoints.push_back('?');
            ++p;
        }
    }
    return codepoints;
}

float lineWidth(const stbtt_fontinfo& font, const std::vector<int>& codepoints, float scaleX) {
    float width = 0.0f;
    for (size_t i = 0; i < codepoints.size(); ++i) {
        int advance = 0;
        int bearing = 0;
        stbtt_GetCodepointHMetrics(&font, codepoints[i], &advance, &bearing);
        width += static_cast<float>(advance) * scaleX;
        if (i + 1 < codepoints.size())
            width +=
                static_cast<float>(stbtt_GetCodepointKernAdvance(&font, codepoints[i], codepoints[i + 1])) * scaleX;
    }
    return width;
}

// Draws one line centred, as antialiased coverage (max-blended) into `canvas`.
Result drawLine(const stbtt_fontinfo& font, const TextLine& line, uint8_t* canvas) {
    const std::vector<int> codepoints = decodeUtf8(line.utf8);
    const float scaleY = stbtt_ScaleForMappingEmToPixels(&font, line.size);
    float scaleX = scaleY;
    const float natural = lineWidth(font, codepoints, scaleX);
    if (natural > static_cast<float>(MaxLineWidth)) {
        const float condense = static_cast<float>(MaxLineWidth) / natural;
        if (condense < MaxCondense) {
            return Result::failed("", std::string("text line \"") + line.utf8 + "\" is too wide for the screen");
        }
        scaleX *= condense;
    }
    float x = std::floor((static_cast<float>(FrameWidth) - lineWidth(font, codepoints, scaleX)) * 0.5f);
    std::vector<uint8_t> glyph;
    for (size_t i = 0; i < codepoints.size(); ++i) {
        const int cp = codepoints[i];
        const float originX = std::floor(x);
        const float shiftX = x - originX;
        int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
        stbtt_GetCodepointBitmapBoxSubpixel(&font, cp, scaleX, scaleY, shiftX, 0.0f, &x0, &y0, &x1, &y1);
        const int w = x1 - x0;
        const int h = y1 - y0;
        if (w > 0 && h > 0) {
            glyph.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 0);
            stbtt_MakeCodepointBitmapSubpixel(&font, glyph.data(), w, h, w, scaleX, scaleY, shiftX, 0.0f, cp);
            for (int gy = 0; gy < h; ++gy) {
                const int py = line.baseline + y0 + gy;
                for (int gx = 0; gx < w; ++gx) {
                    const int px = static_cast<int>(originX) + x0 + gx;
                    if (px < 0 || px >= FrameWidth || py < 0 || py >= FrameHeight) {
                        return Result::failed("", std::string("text line \"") + line.utf8 + "\" leaves the screen");
                    }
                    uint8_t& pixel = canvas[py * FrameWidth + px];
                    pixel = std::max(pixel, glyph[static_cast<size_t>(gy * w + gx)]);
                }
            }
        }
        int advance = 0;
        int bearing = 0;
        stbtt_GetCodepointHMetrics(&font, cp, &advance, &bearing);
        x += static_cast<float>(advance) * scaleX;
        if (i + 1 < codepoints.size())
            x += static_cast<float>(stbtt_GetCodepointKernAdvance(&font, cp, codepoints[i + 1])) * scaleX;
    }
    return Result::ok();
}

Result readWholeFile(const std::string& path, std::vector<uint8_t>& bytes) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return Result::failed("cannot read font " + path, std::strerror(errno));
    }
    bytes.clear();
    uint8_t chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.insert(bytes.end(), chunk, chunk + got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) {
        return Result::failed("cannot read font " + path, "read error");
    }
    return Result::ok();
}

}  // namespace

Result renderTexts(const std::string& fontPath, GreyStrip& strip) {
    std::vector<uint8_t> fontBytes;
    if (Result read = readWholeFile(fontPath, fontBytes); !read) return read;
    stbtt_fontinfo font;
    if (fontBytes.size() < 12 || stbtt_GetFontOffsetForIndex(fontBytes.data(), 0) < 0 ||
        stbtt_InitFont(&font, fontBytes.data(), stbtt_GetFontOffsetForIndex(fontBytes.data(), 0)) == 0) {
        return Result::failed("cannot read font " + fontPath, "not a TrueType font");
    }
    strip.assign(static_cast<size_t>(FrameWidth) * FrameHeight * TextFrameCount, 0);
    std::vector<uint8_t> coverage(static_cast<size_t>(FrameWidth) * FrameHeight);
    for (int frame = 0; frame < TextFrameCount; ++frame) {
        std::fill(coverage.begin(), coverage.end(), 0);
        for (const TextLine& line : TextFrames[frame].lines)
            if (Result drawn = drawLine(font, line, coverage.data()); !drawn) return drawn;
        // Pure black and white: the overlay lights any non-zero pixel.
        uint8_t* out = strip.data() + static_cast<size_t>(frame) * FrameWidth * FrameHeight;
        for (int y = 0; y < FrameHeight; ++y)
            for (int x = 0; x < FrameWidth; ++x) {
                const bool lit = coverage[static_cast<size_t>(y * FrameWidth + x)] >= 128;
                if (lit && (x < Margin || x >= FrameWidth - Margin || y < Margin || y >= FrameHeight - Margin)) {
                    return Result::failed(
                        "", "text frame " + std::to_string(frame) + " comes too close to the screen's edge");
                }
                out[y * FrameWidth + x] = lit ? 255 : 0;
            }
    }
    return Result::ok();
}

// The wipe: the screen is a grid of 16x16-pixel blocks (4x4 console cells),
// each holding a dark square centred in it. The squares grow in steps of 4
// pixels (one cell), in a sweep that starts at the top left, until mask 12
// is black everywhere; then they shrink again starting from the top left, so
// the darkness passes over the screen diagonally. The darkness of mask 12+j
// equals that of mask 12-j. Block centres sit on even pixels, so every edge
// falls on the converter's 2x2-pixel quadrants and stays crisp.
GreyStrip renderWipeMasks() {
    constexpr int Block = 16;
    constexpr int Middle = WipeMaskCount / 2;
    constexpr int BlocksX = FrameWidth / Block;             // 20
    constexpr int BlocksY = (FrameHeight + Block) / Block;  // 13, half a block cut at top and bottom
    constexpr int GridTop = -(Block * BlocksY - FrameHeight) / 2;
    constexpr int Steps = Block / 4;
    GreyStrip strip(static_cast<size_t>(FrameWidth) * FrameHeight * WipeMaskCount, 255);
    for (int k = 0; k < WipeMaskCount; ++k) {
        uint8_t* mask = strip.data() + static_cast<size_t>(k) * FrameWidth * FrameHeight;
        const int distance = std::abs(k - Middle);
        // Integer arithmetic throughout: the masks do not depend on rounding.
        // Progress of block (bx, by) in 1/(13*31*Steps) units:
        //   q = 2*p - diag with p = (13 - distance)/13 and diag = (bx + by)/31.
        for (int by = 0; by < BlocksY; ++by)
            for (int bx = 0; bx < BlocksX; ++bx) {
                int diag = bx + by;  // 0..31
                if (k > Middle) diag = (BlocksX - 1 + BlocksY - 1) - diag;
                const int qNum = 2 * (13 - distance) * 31 - diag * 13;  // q * 403
                int step = qNum <= 0 ? 0 : qNum * Steps / 403;
                step = std::min(step, Steps);
                if (k == Middle) step = Steps;
                const int side = step * 4;
                if (side == 0) continue;
                const int left = bx * Block + (Block - side) / 2;
                const int top = GridTop + by * Block + (Block - side) / 2;
                for (int y = std::max(top, 0); y < std::min(top + side, FrameHeight); ++y)
                    std::fill(mask + y * FrameWidth + left, mask + y * FrameWidth + left + side, uint8_t{0});
            }
    }
    return strip;
}

Result writeStripPng(const std::string& path, const GreyStrip& strip) {
    const int height = static_cast<int>(strip.size() / FrameWidth);
    std::vector<uint8_t> rgba(strip.size() * 4);
    for (size_t i = 0; i < strip.size(); ++i) {
        rgba[4 * i + 0] = strip[i];
        rgba[4 * i + 1] = strip[i];
        rgba[4 * i + 2] = strip[i];
        rgba[4 * i + 3] = 255;
    }
    std::vector<uint8_t> png;
    auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<uint8_t>*>(context);
        const auto* bytes = static_cast<const uint8_t*>(data);
        out->insert(out->end(), bytes, bytes + size);
    };
    if (stbi_write_png_to_func(append, &png, FrameWidth, height, 4, rgba.data(), FrameWidth * 4) == 0) {
        return Result::failed("", "cannot encode " + path + " as PNG");
    }
    return writeFile(path, png);
}

Result writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    // Written beside the target and renamed, so a failed run never leaves a
    // truncated file that looks up to date.
    const std::string temporary = path + ".part";
    FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        return Result::failed("cannot write " + path, std::strerror(errno));
    }
    const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
    int reason = written != bytes.size() ? errno : 0;
    if (std::fclose(file) != 0 && reason == 0) reason = errno;
    if (reason == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) reason = errno;
    if (reason != 0) {
        std::remove(temporary.c_str());
        return Result::failed("cannot write " + path, std::strerror(reason));
    }
    return Result::ok();
}

}  // namespace datagen
