// Test helper that encodes Ogg Vorbis with libvorbisenc. The encoder is built
// for the Linux host only, so this lives apart from audio_support.h, whose
// helpers every platform's tests use.
#pragma once

#include <cstdint>
#include <vector>

namespace audiotest {

// Planar float samples (channel 0's frames, then channel 1's, ...) to an Ogg Vorbis file.
std::vector<uint8_t> makeOggVorbis(const std::vector<float>& planar, uint32_t channels, uint32_t rate,
                                   float quality = 0.6f);

}  // namespace audiotest
