#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void DrawTwistedFractal(int32_t) {}
