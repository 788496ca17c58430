// The demo's objects of static storage (see demo_objects.cpp for their order).
#pragma once

#include "audio/aurix.h"
#include "display/ascii_art.h"

// The soundtrack's sample source: empty until start-up loads hazelglow.ogg.
extern Aurix::Wav soundtrack;
// The audio engine: its output starts at start-up, shut down at exit.
extern Aurix::AudioEngine audioEngine;

// The one ASCII-art converter; its tables are built at start-up.
extern PKR_AsciiArt asciiArt;
