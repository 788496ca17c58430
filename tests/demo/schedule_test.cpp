#include <gtest/gtest.h>

#include "demo/schedule.h"

// Placeholder until the converter's own tests land.
TEST(Schedule, WindowsAreClosedAtBothEnds) {
    EXPECT_EQ(sceneIndexAt(16000), 0);
    EXPECT_EQ(sceneIndexAt(16040), 1);
    EXPECT_EQ(sceneIndexAt(176000), 10);
    EXPECT_EQ(sceneIndexAt(176040), -1);
    EXPECT_EQ(sceneIndexAt(0), -1);
}
