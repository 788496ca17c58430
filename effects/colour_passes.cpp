#include "effects/effects.h"

// TODO(scenes): not drawn yet.
int32_t FlashStep = 9;
int32_t BlockAge[16] = {};
int32_t BlockPickCounter = 0;
int32_t NextBlockPickTime = 0;
void resetColourPassState() {}
void CyanFlashPass(int32_t) {}
void RedFlashPass(int32_t) {}
void BlockFlashPass(int32_t) {}
