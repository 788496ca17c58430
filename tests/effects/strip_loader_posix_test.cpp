// Loading image strips from files: what is taken, and every file that is
// refused with one line naming it and the reason, before anything is decoded.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <vector>

#include <stb_image.h>
#include <stb_image_write.h>

#include "effects/buffers.h"
#include "tests/support/files.h"

namespace fs = std::filesystem;

namespace {

class StripFiles : public testing::Test {
protected:
    const testfiles::TempDir dir_{"strips"};

    std::string path(const char* name) const { return (dir_ / name).string(); }

    // A grey 320-wide PNG of `height` rows; odd rows are lit.
    std::string png(const char* name, int width, int height) const {
        std::vector<uint8_t> grey(static_cast<size_t>(width) * static_cast<size_t>(height));
        for (int y = 1; y < height; y += 2)
            std::fill_n(grey.begin() + static_cast<std::ptrdiff_t>(y) * width, width, uint8_t(200));
        const std::string file = path(name);
        EXPECT_NE(stbi_write_png(file.c_str(), width, height, 1, grey.data(), width), 0);
        return file;
    }

    std::string bytes(const char* name, const std::string& content) const {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

    // Refused, the strip left empty, with "path: problem" on one line.
    static void expectRefused(const std::string& file, const std::string& problem) {
        ImageStrip strip;
        strip.frameCount = 7;
        const Result loaded = loadImageStrip(file.c_str(), strip);
        ASSERT_FALSE(loaded) << file;
        EXPECT_EQ(strip.pixels, nullptr);
        EXPECT_EQ(strip.frameCount, 0);
        EXPECT_EQ(loaded.message().rfind(file + ": ", 0), 0u) << loaded.message();
        EXPECT_NE(loaded.message().find(problem), std::string::npos) << loaded.message();
        EXPECT_EQ(loaded.message().find('\n'), std::string::npos);
    }
};

// PNG's chunk checksum (stb_image does not check it, other readers do).
uint32_t pngCrc(const std::string& bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
    }
    return ~crc;
}

std::string bigEndian(uint32_t value) {
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

// A PNG signature and a well-formed header chunk claiming width x height,
// 8-bit RGBA, and nothing after it.
std::string pngHeader(uint32_t width, uint32_t height) {
    const std::string body = "IHDR" + bigEndian(width) + bigEndian(height) + std::string("\x08\x06\x00\x00\x00", 5);
    return std::string("\x89PNG\r\n\x1a\n", 8) + bigEndian(13) + body + bigEndian(pngCrc(body));
}

TEST_F(StripFiles, AWholeNumberOfFramesLoads) {
    ImageStrip strip;
    const Result loaded = loadImageStrip(png("two.png", 320, 400).c_str(), strip);
    ASSERT_TRUE(loaded) << loaded.message();
    EXPECT_EQ(strip.frameCount, 2);
    // Grey becomes red, green and blue alike; odd rows lit.
    EXPECT_FALSE(strip.lit(0, 0));
    EXPECT_TRUE(strip.lit(0, 320));
    EXPECT_TRUE(strip.lit(1, 199 * 320 + 5));
    EXPECT_FALSE(strip.lit(1, 198 * 320 + 5));
    // The demo keeps its strips until exit; a test gives this one back.
    stbi_image_free(const_cast<uint8_t*>(strip.pixels));
}

TEST_F(StripFiles, SizesOtherThanWholeFramesOf320AreRefused) {
    expectRefused(png("narrow.png", 319, 200), "the image is 319x200 pixels");
    expectRefused(png("wide.png", 321, 400), "the image is 321x400 pixels");
    expectRefused(png("short.png", 320, 199), "the image is 320x199 pixels");
    expectRefused(png("ragged.png", 320, 1199), "the image is 320x1199 pixels");
    expectRefused(bytes("toomany.png", pngHeader(320, 200 * (MaxStripFrames + 1))), "the image is 320x13000 pixels");
}

// The size is read from the header: a few bytes that claim a huge picture
// are refused at once instead of being decoded.
TEST_F(StripFiles, ClaimedHugePicturesAreRefusedFromTheHeader) {
    struct Case {
        const char* name;
        std::string content;
        const char* problem;
    };
    // A PNM header (stb_image would read it as an 18701x25416 picture and
    // allocate 1.9 GB for it), padded to 36 bytes; the same size as a PNG
    // header; and a PNG header claiming 320 x 100 000.
    std::string pnm = "P6\n18701 25416\n255\n";
    pnm.resize(36, '\x55');
    std::string tall = pngHeader(320, 100000) + std::string(64, '\0');
    const Case cases[] = {
        {"pnm.png", pnm, "not a PNG image"},
        {"huge.png", pngHeader(18701, 25416) + "abc", "the image is 18701x25416 pixels"},
        {"tall.png", tall, "the image is 320x100000 pixels"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = bytes(c.name, c.content);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const auto start = std::chrono::steady_clock::now();
        expectRefused(file, c.problem);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        getrusage(RUSAGE_SELF, &after);
        std::printf("%s (%zu bytes): refused in %.3f ms; peak resident %ld KB before, %ld KB after\n", c.name,
                    c.content.size(), ms, before.ru_maxrss, after.ru_maxrss);
    }
}

TEST_F(StripFiles, CutAndDamagedFilesSayWhat) {
    const std::string whole = testfiles::readFile(png("whole.png", 320, 200));
    ASSERT_GT(whole.size(), 100u);
    expectRefused(bytes("cut33.png", whole.substr(0, 33)), "cut short");
    expectRefused(bytes("cut20.png", whole.substr(0, 20)), "cut short");
    expectRefused(bytes("cutmiddle.png", whole.substr(0, whole.size() / 2)), "cut short");
    std::string damaged = whole;
    for (size_t i = 60; i < damaged.size() - 20; i += 7) damaged[i] = char(damaged[i] ^ 0x5A);
    expectRefused(bytes("damaged.png", damaged), "damaged");
    expectRefused(bytes("empty.png", ""), "the file is empty");
    expectRefused(bytes("text.png", "just some words, long enough to be a header........"), "not a PNG image");
}

TEST_F(StripFiles, WhatIsNoImageFileIsNamed) {
    expectRefused(path("missing.png"), "No such file or directory");
    fs::create_directory(path("folder.png"));
    expectRefused(path("folder.png"), "a directory, not a PNG image");
    // A FIFO would block the open until someone writes to it.
    ASSERT_EQ(mkfifo(path("fifo.png").c_str(), 0600), 0);
    expectRefused(path("fifo.png"), "not a regular file");
}

}  // namespace
