#include "demo/keys_posix.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <string_view>
#include <unistd.h>

#include "demo/keys.h"
#include "display/console_posix.h"
#include "display/terminal_replies.h"

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
// A key typed while the console read the terminal's input comes first;
// while the terminal is the demo's, the console reads all of it (its
// answers come there). An answer that came too late for set-up is no key.
int32_t pollKey() {
    if (const int32_t typed = takeTypedKey(); typed != 0) return typed;
    if (consoleReadsKeys()) return 0;
    const int fd = keyInput();
    if (fd < 0 || !pending(fd)) return 0;
    char bytes[64];
    ssize_t n;
    do {
        n = read(fd, bytes, sizeof bytes);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) return 0;  // end of input: no key, now or later
    TerminalReplies replies;
    const std::string_view burst(bytes, static_cast<size_t>(n));
    const size_t cutShort = readReplies(burst, replies);
    const int32_t code = replies.key != 0 ? replies.key : keyCode(burst.substr(burst.size() - cutShort));
    // The rest of the same key press.
    while (pending(fd) && read(fd, bytes, sizeof bytes) > 0) {}
    return code;
}
