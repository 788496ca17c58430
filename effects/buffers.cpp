#include "effects/buffers.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <stb_image.h>

uint32_t FrameBuffer[ScreenPixels];
uint32_t FeedbackBuffer[ScreenPixels];
uint32_t ZoomSourceBuffer[ScreenPixels];
uint16_t CellBuffer[CellCount];

ImageStrip wipeStrip;
ImageStrip textStrip;

Result loadImageStrip(const char* path, ImageStrip& strip) {
    strip = ImageStrip{};
    int width = 0;
    int height = 0;
    int fileChannels = 0;
    errno = 0;
    stbi_uc* pixels = stbi_load(path, &width, &height, &fileChannels, 4);
    if (pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        if (reason != nullptr && std::strcmp(reason, "can't fopen") == 0)
            return Result::failed(path, errno != 0 ? std::strerror(errno) : "cannot open the file");
        return Result::failed(path,
                              std::string("not a readable image") + (reason ? std::string(" (") + reason + ")" : ""));
    }
    if (width != ScreenWidth || height < ScreenHeight) {
        stbi_image_free(pixels);
        return Result::failed(path, "the image is " + std::to_string(width) + "x" + std::to_string(height) +
                                        " pixels; it must be 320 pixels wide with at least one 200-row frame");
    }
    strip.pixels = pixels;
    strip.frameCount = height / ScreenHeight;
    return Result::ok();
}
