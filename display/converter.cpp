#include "display/converter.h"

// TODO(foundation): front ends not written yet.
void PKR_TCConverter::convertLowRes(const uint32_t*, const SourceRect*, int32_t, int32_t, int32_t, uint16_t*) {}
void PKR_TCConverter::convertHighRes(const uint32_t*, const SourceRect*, int32_t, int32_t, int32_t, uint16_t*) {}
