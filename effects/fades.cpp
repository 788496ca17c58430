#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void FadeIn(float) {}
void FadeOut(float) {}
