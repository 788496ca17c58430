// hazelglow-render --wav: the soundtrack's mix exactly as a sound device
// would receive it, with no device and no clock.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "audio/aurix.h"
#include "effects/result.h"

// Plays `source` on a device-less engine configured as the device output
// configures it (44 100 Hz, 8192), with the demo's calls: startVoice(source,
// -1, 0), setChannelVolumes(1, 1). Renders 4096-frame blocks, converted to
// 16-bit as the device output does, until the mixer has removed the voice
// (that block included). Interleaved stereo samples.
std::vector<int16_t> mixSoundtrack(Aurix::Wav& source);

// A 16-bit stereo 44 100 Hz WAVE file, or why it cannot be written.
Result writeWaveFile(const std::string& path, const std::vector<int16_t>& samples);
