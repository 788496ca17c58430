// The console in the browser: the cells drawn as the classic console shows
// them (the font and palette the render tool's screenshots use), put on the
// page's canvas in one call per frame; the title becomes the page's title.
// The page scales the canvas and owns everything else on screen.
#include <cstring>
#include <emscripten/emscripten.h>
#include <vector>

#include "display/cell_picture.h"
#include "display/console.h"
#include "display/cp437_utf8.h"
#include "effects/buffers.h"

namespace {

constexpr int PicturePixels = ScreenshotWidth * ScreenshotHeight;
uint8_t rgb[PicturePixels * 3];
uint8_t rgba[PicturePixels * 4];

// The page's Module.showPicture takes the RGBA bytes (a view into the
// heap, valid for the call only) and puts them on its canvas.
EM_JS(void, showPicture, (const uint8_t* pixels, int width, int height),
      { Module["showPicture"](HEAPU8.subarray(pixels, pixels + width * height * 4), width, height); });

EM_JS(void, setPageTitle, (const char* utf8), { document.title = UTF8ToString(utf8); });

}  // namespace

Result setupConsole(FitMode) {
    // The canvas is the page's; there is nothing to take over. It always
    // shows the 80x50 cells, as the console would.
    return Result::ok();
}

void setConsoleTitle(const char* cp437Title) {
    std::vector<char> utf8(3 * std::strlen(cp437Title) + 1);
    cp437ToUtf8(cp437Title, utf8.data(), utf8.size());
    setPageTitle(utf8.data());
}

// The canvas shows a frame at once: nothing to watch, nothing to draw ahead.
void watchConsole(uint64_t) {}

uint32_t consoleLead() {
    return 0;
}

void presentCells(const PKR_AsciiArt&, uint64_t) {
    drawCellsAsConsole(CellBuffer, rgb);
    for (int i = 0; i < PicturePixels; ++i) {
        rgba[4 * i] = rgb[3 * i];
        rgba[4 * i + 1] = rgb[3 * i + 1];
        rgba[4 * i + 2] = rgb[3 * i + 2];
        rgba[4 * i + 3] = 0xFF;
    }
    showPicture(rgba, ScreenshotWidth, ScreenshotHeight);
}

void restoreConsole() {
    // Nothing was taken over; the title stays the demo's.
}

bool consoleLost() {
    return false;  // the page outlives the demo
}
