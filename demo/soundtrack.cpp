// Stand-in until the audio engine is wired in: no sound, and the
// soundtrack never ends, so only a key ends the demo.
#include "demo/soundtrack.h"

void startAudioEngine() {}

void loadSoundtrack(const char*) {}

void startSoundtrackVoice() {}

void setSoundtrackVolumes() {}

bool soundtrackVoiceAlive() {
    return true;
}
