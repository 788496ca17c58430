// A fresh run of the data generator reproduces the build's files byte for
// byte: the data is fully determined by the sources and the font.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "tests/support/files.h"

namespace {

TEST(DataGenerator, ReproducesTheBuildsFilesExactly) {
    // One folder per process: two builds may run this test at once.
    const std::string dir = ::testing::TempDir() + "hazelglow-datagen-rerun-" + std::to_string(getpid());
    ASSERT_EQ(std::system(("mkdir -p '" + dir + "'").c_str()), 0);
    const std::string command =
        std::string("'") + HAZELGLOW_BIN_DIR + "/hazelglow-datagen' --font '" + HAZELGLOW_TEXT_FONT + "' '" + dir + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : {"texts.png", "wipe.png", "hazelglow.ogg"}) {
        const std::string fresh = testfiles::readFile(dir + "/" + name);
        const std::string built = testfiles::readFile(std::string(HAZELGLOW_BUILD_DATA_DIR) + "/" + name);
        EXPECT_FALSE(fresh.empty()) << name;
        EXPECT_TRUE(fresh == built) << name << " differs from the build's copy";
        std::remove((dir + "/" + name).c_str());
    }
    std::remove(dir.c_str());
}

}  // namespace
