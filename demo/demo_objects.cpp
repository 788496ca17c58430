// The objects that exist before demoMain runs. They are defined in this one
// file so that their construction order is fixed (C++ orders the
// initialisation of statics only within a file): the soundtrack's Wav, then
// the AudioEngine, both defined above asciiArt here; they are destroyed in
// the reverse order at exit, the converter first.
#include "demo/demo_objects.h"

// Destroyed last: its samples outlive every voice that reads them.
Aurix::Wav soundtrack;
// Destroyed before the Wav: shutdown stops every voice and the mixing thread.
Aurix::AudioEngine audioEngine;

// Constant-initialised: flag word 0 and no tables until init(); only its
// destructor runs at exit.
constinit PKR_AsciiArt asciiArt;
