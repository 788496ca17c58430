// Writes the strip fuzzer's seed corpus into the folder named on the
// command line: small strips of each PNG kind stb_image_write makes (grey,
// grey and alpha, RGB, RGBA; one and two frames), made here so nothing
// binary is committed.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <stb_image_write.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: strip_fuzz_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    int written = 0;
    for (int channels = 1; channels <= 4; ++channels) {
        for (int frames = 1; frames <= 2; ++frames) {
            const int height = 200 * frames;
            std::vector<uint8_t> pixels(size_t(320) * size_t(height) * size_t(channels));
            // Bars and a diagonal, so the filters and the compressor have work.
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < 320; ++x)
                    for (int c = 0; c < channels; ++c)
                        pixels[(size_t(y) * 320 + size_t(x)) * size_t(channels) + size_t(c)] =
                            uint8_t(((x / 16 + y / 25) % 2 == 0 || x == y) ? 255 : 17 * c);
            const std::string path =
                dir + "/strip_" + std::to_string(channels) + "ch_" + std::to_string(frames) + "f.png";
            if (stbi_write_png(path.c_str(), 320, height, channels, pixels.data(), 320 * channels) == 0) {
                std::fprintf(stderr, "strip_fuzz_seeds: %s: cannot write\n", path.c_str());
                return 1;
            }
            ++written;
        }
    }
    std::printf("%d seeds in %s\n", written, dir.c_str());
    return 0;
}
