#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void DrawTextOverlay(int32_t, int32_t) {}
