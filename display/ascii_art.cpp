#include "display/ascii_art.h"

// TODO(foundation): matcher not written yet.
void PKR_AsciiArt::init() {}
void PKR_AsciiArt::convertCells(const uint32_t*, const SourceRect*, int32_t, int32_t, int32_t, uint16_t*) {}
PKR_AsciiArt::~PKR_AsciiArt() = default;
