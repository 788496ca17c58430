// hazelglow: the demo. Takes no options; any key ends it.
#include "demo/driver.h"

int main(int argc, char** argv) {
    return demoMain(argc, argv);
}
