#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void DrawTwistedPattern(int32_t) {}
