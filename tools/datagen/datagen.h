// hazelglow-datagen: makes the demo's three data files from nothing but a
// TrueType font, so a fresh clone needs no download and commits no binaries.
//
//   texts.png      six 320x200 text pictures, white on black, stacked
//   wipe.png       24 scene-change masks, 320x200 each, stacked
//   hazelglow.ogg  the soundtrack, synthesized and encoded with libvorbisenc
//
// Every file is the same byte for byte on every run: fixed seeds, a fixed
// Ogg serial number, and no arithmetic that depends on the optimiser. Each
// maker returns a Result whose failure is one line naming the file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "effects/result.h"

namespace datagen {

inline constexpr int FrameWidth = 320;
inline constexpr int FrameHeight = 200;
inline constexpr int TextFrameCount = 6;
inline constexpr int WipeMaskCount = 24;

// One byte per pixel, 0 or 255, FrameWidth x (FrameHeight * frames).
using GreyStrip = std::vector<uint8_t>;

// Renders the six text frames with the given TrueType font file.
Result renderTexts(const std::string& fontPath, GreyStrip& strip);
// The 24 masks of the scene-change wipe (255 keeps the picture, 0 cuts it).
GreyStrip renderWipeMasks();
// Writes a grey strip as an RGBA PNG (red = green = blue = value, alpha 255).
Result writeStripPng(const std::string& path, const GreyStrip& strip);

// The soundtrack's sample rate and length.
inline constexpr int SampleRate = 44100;
inline constexpr int64_t SoundtrackFrames = 7876260;  // 178.6 s
// Synthesizes the soundtrack: interleaved stereo, peak about 0.8.
std::vector<float> synthesizeSoundtrack();
// Encodes interleaved stereo float samples as Ogg Vorbis, quality 0.5.
Result writeOggVorbis(const std::string& path, const std::vector<float>& interleaved);

// Writes bytes to a file; a failure names the file and the reason.
Result writeFile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace datagen
