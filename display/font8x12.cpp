#include "display/font8x12.h"

// TODO(foundation): glyph rows not entered yet.
const uint8_t Font8x12[256 * GlyphHeight] = {};
