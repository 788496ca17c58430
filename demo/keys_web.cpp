// Keys in the browser: the page reports every key press, click and tap while
// the demo runs (hgKeyPressed), and the frame loop polls them as it polls a
// terminal's keyboard.
#include <emscripten/emscripten.h>

#include "demo/keys.h"

namespace {

int32_t pendingKey = 0;  // 0: none since the last poll

}  // namespace

// Called by the page; `code` is the key's character, or any non-zero value
// for a click or a key without a character.
extern "C" EMSCRIPTEN_KEEPALIVE void hgKeyPressed(int32_t code) {
    pendingKey = code != 0 ? code : 0x100;
}

int32_t pollKey() {
    const int32_t key = pendingKey;
    pendingKey = 0;
    return key;
}
