#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void InvertBlob(int32_t, int32_t, int32_t) {}
void DrawBlobSwarm(int32_t) {}
void DrawBlobTrail(int32_t) {}
