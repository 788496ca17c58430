// Writes the fuzzer's seed corpus: small WAVE files of every accepted shape
// and a short Ogg Vorbis stream, made here so nothing binary is committed.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/audio/audio_support.h"
#include "tests/audio/ogg_support.h"

namespace {

bool save(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: audio_fuzz_seeds DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    audiotest::WaveShape stereo;
    for (int i = 0; i < 64; ++i) stereo.samples.push_back(int32_t(8000 * std::sin(i * 0.3)));
    audiotest::WaveShape mono8;
    mono8.channels = 1;
    mono8.bits = 8;
    mono8.rate = 8000;
    for (int i = 0; i < 40; ++i) mono8.samples.push_back(128 + int32_t(100 * std::sin(i * 0.5)));
    audiotest::WaveShape six = stereo;
    six.channels = 6;
    six.rate = 48000;
    audiotest::WaveShape listed = stereo;
    listed.chunkBeforeData = "LIST";

    std::vector<float> tone(3000);
    for (size_t i = 0; i < tone.size(); ++i) tone[i] = float(0.5 * std::sin(double(i) * 0.05));
    const bool ok = save(dir + "/stereo16.wav", audiotest::makeWave(stereo)) &&
                    save(dir + "/mono8.wav", audiotest::makeWave(mono8)) &&
                    save(dir + "/six16.wav", audiotest::makeWave(six)) &&
                    save(dir + "/list.wav", audiotest::makeWave(listed)) &&
                    save(dir + "/mono.ogg", audiotest::makeOggVorbis(tone, 1, 22050, 0.0f));
    if (!ok) std::perror(dir.c_str());
    return ok ? 0 : 1;
}
