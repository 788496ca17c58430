#include "effects/effects.h"

// TODO(scenes): not drawn yet.
void DrawZoomFeedback(int32_t) {}
