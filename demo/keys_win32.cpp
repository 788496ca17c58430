#include "demo/keys.h"

#include <conio.h>

// The C runtime's console key test and unechoed read. A function or arrow
// key arrives as two codes, 0 or 0xE0 then the key's own; both are one key
// press, and a leading 0 is reported as 0x100 so that it still counts as a key.
int32_t pollKey() {
    if (!_kbhit()) return 0;
    const int code = _getch();
    if (code == 0 || code == 0xE0) _getch();
    return code != 0 ? code : 0x100;
}
