// hazelglow: the demo. Any key ends it; --help lists its few options.
#include <cstdio>
#include <exception>
#include <new>

#include "demo/driver.h"
#include "display/console.h"

int main(int argc, char** argv) {
    // Only the libraries' allocations can throw: the terminal is given back
    // and the failure is one line, not an abort.
    try {
        return demoMain(argc, argv);
    } catch (const std::bad_alloc&) {
        restoreConsole();
        std::fputs("hazelglow: out of memory\n", stderr);
    } catch (const std::exception& error) {
        restoreConsole();
        std::fprintf(stderr, "hazelglow: %s\n", error.what());
    }
    return 1;
}
