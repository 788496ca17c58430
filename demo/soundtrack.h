// The driver's calls into the audio engine, all in one place: start-up
// steps 1, 2, 7 and 9, the per-frame test that the soundtrack still plays
// and where the soundtrack is heard.
#pragma once

#include <cstdint>
#include <string>

#include "effects/result.h"

// Step 1: starts the engine with its output chosen automatically.
void startAudioEngine();
// Step 2: decodes the whole soundtrack into memory; a failure names the
// file and says what is wrong with it.
Result loadSoundtrack(const char* path);
// Step 7: starts the soundtrack voice at the source's own volume, centred.
void startSoundtrackVoice();
// Step 9: both channels of the soundtrack voice at full volume.
void setSoundtrackVolumes();
// Loop steps 1-2: false once the soundtrack voice has finished (the mixer
// removed it); the loop then ends before drawing.
bool soundtrackVoiceAlive();

// How many output frames the soundtrack lasts: its voice's last sample is
// output frame soundtrackOutputFrames() - 1 after its first.
uint64_t soundtrackOutputFrames();

// When the soundtrack's first sample is heard, by the output's account.
enum class SoundtrackHeard {
    Known,    // heardZero holds the moment (tickNanoseconds)
    NotYet,   // its first block is not with the device, or the device is not playing
    Unknown,  // the output cannot tell (waveOut), or the voice has ended
};
SoundtrackHeard soundtrackHeardZero(uint64_t& heardZero);

// After the run, for a person: "" when the sound was heard as it should
// have been; else one line naming the device and why it was not (the
// silent output stood in, the device failed or ran ahead of time,
// underruns), e.g. `no sound: ALSA "default": Host is down (played
// silently)`. Before the engine shuts down.
std::string soundReport();
