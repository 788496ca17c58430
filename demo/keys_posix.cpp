#include "demo/keys.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace {

bool pending() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    return poll(&input, 1, 0) == 1 && (input.revents & POLLIN) != 0;
}

}  // namespace

// Standard input stays blocking (its file description is shared with the
// shell); a read happens only after poll() said bytes are waiting.
int32_t pollKey() {
    if (!pending()) return 0;
    unsigned char bytes[64];
    ssize_t n;
    do {
        n = read(STDIN_FILENO, bytes, sizeof bytes);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;  // end of input: no key, now or later
    const int32_t code = bytes[0] != 0 ? bytes[0] : 0x100;
    // The rest of the same key press.
    while (pending() && read(STDIN_FILENO, bytes, sizeof bytes) > 0) {}
    return code;
}
