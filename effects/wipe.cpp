#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void ApplyWipe(float) {}
