#include "demo/keys_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "demo/keys.h"

namespace {

int chosenInput = KeyInputAuto;

bool pending(int fd) {
    pollfd input{fd, POLLIN, 0};
    return poll(&input, 1, 0) == 1 && (input.revents & POLLIN) != 0;
}

}  // namespace

int keyInput() {
    if (chosenInput != KeyInputAuto) return chosenInput;
    if (isatty(STDIN_FILENO)) {
        chosenInput = STDIN_FILENO;
    } else {
        chosenInput = open("/dev/tty", O_RDONLY | O_NOCTTY | O_CLOEXEC);
        if (chosenInput >= 0 && !isatty(chosenInput)) {
            close(chosenInput);
            chosenInput = -1;
        }
    }
    return chosenInput;
}

void setKeyInput(int fd) {
    if (chosenInput > STDERR_FILENO && chosenInput != fd) close(chosenInput);  // the /dev/tty opened here
    chosenInput = fd;
}

// The key input stays blocking (standard input's file description is shared
// with the shell); a read happens only after poll() said bytes are waiting.
int32_t pollKey() {
    const int fd = keyInput();
    if (fd < 0 || !pending(fd)) return 0;
    unsigned char bytes[64];
    ssize_t n;
    do {
        n = read(fd, bytes, sizeof bytes);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;  // end of input: no key, now or later
    const int32_t code = bytes[0] != 0 ? bytes[0] : 0x100;
    // The rest of the same key press.
    while (pending(fd) && read(fd, bytes, sizeof bytes) > 0) {}
    return code;
}
