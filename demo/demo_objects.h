// The demo's objects of static storage (see demo_objects.cpp for their order).
#pragma once

#include "display/ascii_art.h"

// The one ASCII-art converter; its tables are built at start-up.
extern PKR_AsciiArt asciiArt;
