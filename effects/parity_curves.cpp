#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void DrawParityCurves(int32_t) {}
