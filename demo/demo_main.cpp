// hazelglow: the demo. Any key ends it; --help lists its few options.
#include "demo/driver.h"

int main(int argc, char** argv) {
    return demoMain(argc, argv);
}
