// The driver's calls into the audio engine, all in one place: start-up
// steps 1, 2, 7 and 9 and the per-frame test that the soundtrack still plays.
#pragma once

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
