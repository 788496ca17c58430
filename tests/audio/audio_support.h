// Test helpers: sound files made in memory, and the engine's limiter and
// conversion written out again as the reference the mix must match. They
// build on every platform; the Ogg Vorbis encoder is in ogg_support.h.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/aurix.h"

namespace audiotest {

// Interleaved integer samples to a PCM WAVE file (8-bit unsigned or 16-bit signed).
struct WaveShape {
    uint32_t channels = 2;
    uint32_t rate = 44100;
    uint32_t bits = 16;
    std::vector<int32_t> samples;   // interleaved; 8-bit: 0..255
    std::string chunkBeforeData;    // e.g. "LIST" or "fact": an extra chunk with 6 bytes of content
    int64_t dataSizeOverride = -1;  // the data chunk's declared size, when not the real one
    uint32_t formatTag = 1;         // 0xFFFE: extensible, with `subFormat` in its GUID
    uint32_t subFormat = 1;
    uint32_t formatChunkSize = 16;  // 18: with an empty extension; 40 for the extensible format
};
std::vector<uint8_t> makeWave(const WaveShape& shape);

// Loads bytes through a MemoryFile; fails the test when the status differs.
Aurix::AudioStatus loadBytes(Aurix::Wav& wav, const std::vector<uint8_t>& bytes);

// A Wav holding the given planar samples directly.
void fillWav(Aurix::Wav& wav, const std::vector<float>& planar, uint32_t channels, float rate);

// The soft limiter and post gain, one sample.
float limitReference(float x);

// Checks for the tests (expectations_support.cpp): a failed load left the Wav empty.
void expectEmpty(const Aurix::Wav& wav);

// Checks that no output backend is open: no state, no hooks, no mutex.
void expectNoBackend(const Aurix::AudioEngine& engine);

}  // namespace audiotest
