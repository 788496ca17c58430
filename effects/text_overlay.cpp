// The text overlay: one frame of the texts strip stamped in white, each lit
// pixel first cutting a rounded black halo whose size pulses in diagonal
// waves, so the text stays readable over any scene.
#include "effects/text_overlay.h"

#include <cmath>
#include <cstring>

#include "effects/effects.h"

int32_t haloRowWidth(int32_t r, int32_t d) {
    const float theta = (static_cast<float>(d) * 1.57f) / static_cast<float>(r);
    const float h = static_cast<float>(std::cos(static_cast<double>(theta)));
    const float s = static_cast<float>(std::sqrt(static_cast<double>(h)));
    return static_cast<int32_t>((s * static_cast<float>(r)) * 2.0f);
}

namespace {

// Row widths for every radius: rows d = -r .. r-1 of radius r start at
// offset r * r - r - 12 (the radii before it use 8 + 10 + ... + 2(r-1)).
struct HaloTable {
    int8_t widths[2 * (4 + 5 + 6 + 7 + 8 + 9 + 10)];

    HaloTable() {
        for (int32_t r = HaloMinRadius; r <= HaloMaxRadius; ++r)
            for (int32_t d = -r; d < r; ++d) widths[offset(r) + d + r] = static_cast<int8_t>(haloRowWidth(r, d));
    }

    static constexpr int offset(int32_t r) { return r * r - r - 12; }
};

const HaloTable& haloTable() {
    static const HaloTable table;
    return table;
}

// Radius of the halo around a lit pixel, from the demo time and its position.
inline int32_t haloRadius(double base, int32_t x, int32_t y) {
    const double wave = std::sin(((base + static_cast<double>(y)) + static_cast<double>(x)) * 0.053);
    return static_cast<int32_t>(std::floor(wave * 3.0 + 3.0)) + 4;
}

// Cuts the halos of radius r around the lit pixels a..b of row y, clipped
// to the screen. Row d of one pixel's halo is the span [x - w/2, x - w/2 + w);
// for neighbours of equal radius these spans overlap or touch whenever
// w >= 1, so the run's halo row is the one span from the first pixel's left
// end to the last pixel's right end, and clipping the union is the union of
// the clipped spans.
inline void cutHalos(const int8_t* widths, int32_t a, int32_t b, int32_t y, int32_t r) {
    for (int32_t d = -r; d < r; ++d) {
        const int32_t yy = y + d;
        if (yy < 0 || yy >= ScreenHeight) continue;
        const int32_t w = widths[d + r];
        if (w < 1) continue;
        int32_t left = a - w / 2;
        int32_t right = b - w / 2 + w;  // exclusive
        if (left < 0) left = 0;
        if (right > ScreenWidth) right = ScreenWidth;
        if (right > left)
            std::memset(FrameBuffer + yy * ScreenWidth + left, 0, static_cast<size_t>(right - left) * sizeof(uint32_t));
    }
}

}  // namespace

const int8_t* haloWidths(int32_t r) {
    return haloTable().widths + HaloTable::offset(r);
}

void DrawTextOverlay(int32_t frame, int32_t e) {
    // A missing strip or a page it does not have draws nothing at all.
    if (textStrip.pixels == nullptr || frame < 0 || frame >= textStrip.frameCount) return;
    const uint8_t* page = textStrip.pixels + static_cast<size_t>(frame) * ImageStrip::FrameBytes;

    // The radius is a sum ((e * 0.2 + y) + x). While e * 0.2 is a whole
    // number (e a multiple of 5, as every frame of the demo is) the sum is
    // exact, so the radius depends on x + y alone and one table per frame
    // serves; otherwise each lit pixel works it out in that order.
    const double base = static_cast<double>(e) * 0.2;
    const bool byDiagonal = base == std::floor(base);
    int8_t radius[ScreenWidth + ScreenHeight - 1];
    if (byDiagonal)
        for (int32_t d = 0; d < ScreenWidth + ScreenHeight - 1; ++d)
            radius[d] = static_cast<int8_t>(haloRadius(base, d, 0));
    auto radiusAt = [&](int32_t x, int32_t y) { return byDiagonal ? radius[x + y] : haloRadius(base, x, y); };

    // All halos first, then all text, so no halo ever covers a text pixel.
    // The halos of a row are cut run by run: lit neighbours of one radius.
    const HaloTable& table = haloTable();
    for (int32_t y = 0; y < ScreenHeight; ++y) {
        const uint8_t* red = page + static_cast<size_t>(y) * ScreenWidth * 4;
        int32_t x = 0;
        while (x < ScreenWidth) {
            if (red[x * 4] == 0) {
                ++x;
                continue;
            }
            const int32_t r = radiusAt(x, y);
            const int32_t a = x;
            while (++x < ScreenWidth && red[x * 4] != 0 && radiusAt(x, y) == r) {}
            cutHalos(table.widths + HaloTable::offset(r), a, x - 1, y, r);
        }
    }

    // Text pixels are all bits set, so or-ing a mask sets them and nothing else.
    const uint8_t* red = page;
    for (int32_t i = 0; i < ScreenPixels; ++i)
        FrameBuffer[i] |= red[static_cast<size_t>(i) * 4] != 0 ? 0xFFFFFFFFu : 0u;
}
