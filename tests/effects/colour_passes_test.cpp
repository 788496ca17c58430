// The colour passes and their state.
#include <cstdint>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "effects/effects.h"

namespace {

// Every cell gets a different character and attribute 0x4F.
void fillCells() {
    for (int i = 0; i < CellCount; ++i) CellBuffer[i] = static_cast<uint16_t>(0x4F00 | (i * 7 & 0xFF));
}

// The attribute shared by all cells, or -1 when they differ. Also checks
// that no character byte was touched.
int uniformAttribute() {
    const int attribute = CellBuffer[0] >> 8;
    for (int i = 0; i < CellCount; ++i) {
        EXPECT_EQ(CellBuffer[i] & 0xFF, i * 7 & 0xFF) << "cell " << i;
        if ((CellBuffer[i] >> 8) != attribute) return -1;
    }
    return attribute;
}

int blockOf(int cell) {
    const int row = cell / CellColumns, column = cell % CellColumns;
    const int band = row < 12 ? 0 : row < 25 ? 1 : row < 38 ? 2 : 3;
    return band * 4 + column / 20;
}

class ColourPasses : public ::testing::Test {
protected:
    void SetUp() override {
        resetColourPassState();
        fillCells();
    }
    void TearDown() override { resetColourPassState(); }
};

}  // namespace

TEST_F(ColourPasses, StartValues) {
    FlashStep = 3;
    BlockAge[5] = 7;
    BlockPickCounter = 581;
    NextBlockPickTime = 123;
    resetColourPassState();
    EXPECT_EQ(FlashStep, 9);
    for (int32_t age : BlockAge) EXPECT_EQ(age, 0);
    EXPECT_EQ(BlockPickCounter, 0);
    EXPECT_EQ(NextBlockPickTime, 0);
}

TEST_F(ColourPasses, CyanFlashPhases) {
    CyanFlashPass(16040);  // phase 3, FlashStep 9
    EXPECT_EQ(uniformAttribute(), 7);
    EXPECT_EQ(FlashStep, 9);
    CyanFlashPass(16720);  // phase 0: the flash
    EXPECT_EQ(uniformAttribute(), 15);
    EXPECT_EQ(FlashStep, 1);
}

TEST_F(ColourPasses, WholeScreenRampOverOneSecond) {
    const int cyan[] = {15, 15, 15, 15, 15, 11, 11, 3, 3, 7, 7, 7, 7, 7, 7};
    int32_t e = 16720;
    for (int expected : cyan) {
        CyanFlashPass(e);
        EXPECT_EQ(uniformAttribute(), expected) << "e=" << e;
        e += 40;
    }
    for (int frames = 0; frames < 30; ++frames, e += 40) {
        RedFlashPass(e);
        EXPECT_GE(FlashStep, 0);
        EXPECT_LE(FlashStep, 9);
    }
}

TEST_F(ColourPasses, RedContinuesWhereCyanLeftTheSharedStep) {
    // Cyan flashes at 31 720..31 880 and steps on at 31 920, 31 960 and
    // 32 000; red takes over at 32 040 and goes on from step 4.
    for (int32_t e = 31720; e <= 32000; e += 40) CyanFlashPass(e);
    EXPECT_EQ(FlashStep, 4);
    RedFlashPass(32040);
    EXPECT_EQ(uniformAttribute(), 4);  // red ramp[4]
    EXPECT_EQ(FlashStep, 5);
}

TEST_F(ColourPasses, ReplacesTheWholeAttributeByte) {
    CyanFlashPass(16720);
    EXPECT_EQ(CellBuffer[0], 0x0F00);  // 0x4F becomes 0x0F
}

TEST_F(ColourPasses, BlockPicksFollowTheCounter) {
    const int expected[] = {0, 9, 2, 11, 4, 13, 6, 15, 8, 1, 10, 3, 12, 6, 15, 8, 1, 10, 3, 12, 5, 14, 7, 0};
    int32_t e = 64040;
    // Ages of blocks picked earlier keep growing; a pick resets one to 0
    // and the pass then ages every block by one.
    for (int pick : expected) {
        BlockFlashPass(e);
        EXPECT_EQ(BlockAge[pick], 1) << "e=" << e;
        EXPECT_EQ(NextBlockPickTime, e + 80);
        BlockFlashPass(e + 40);  // no pick in between
        EXPECT_EQ(BlockAge[pick], 2) << "e=" << e + 40;
        e += 80;
    }
    EXPECT_EQ(BlockPickCounter, 24 * 581);
}

TEST_F(ColourPasses, BlocksTileTheScreenAndFadeOnTheirOwn) {
    BlockFlashPass(64040);  // picks block 0; all ages were 0: ramp[0] everywhere
    EXPECT_EQ(uniformAttribute(), 15);
    for (int32_t e = 64080; e < 64040 + 40 * 20; e += 40) BlockFlashPass(e);
    // 20 frames: block 0 is 19 frames past its pick; every block holds the
    // ramp entry of its own age.
    const int ramp[] = {15, 11, 11, 3, 3, 9, 1, 3, 7, 7};
    std::set<int> seen;
    for (int cell = 0; cell < CellCount; ++cell) {
        const int attribute = CellBuffer[cell] >> 8;
        const int block = blockOf(cell);
        const int ageWhenPainted = BlockAge[block] - (BlockAge[block] < 19 ? 1 : 0);
        ASSERT_EQ(attribute, ramp[ageWhenPainted / 2]) << "cell " << cell << " block " << block;
        EXPECT_EQ(CellBuffer[cell] & 0xFF, cell * 7 & 0xFF);
        seen.insert(attribute);
    }
    EXPECT_GT(seen.size(), 2u);
}

TEST_F(ColourPasses, UnpickedBlockHoldsTheLastRampEntryAndAgesStopAt19) {
    // Picks fall on every second frame: block 9 at frame 2, block 1 at
    // frame 18; block 5 not before frame 40. Frame 29 paints ages 27 -> 19
    // (ramp[9]), 11 (ramp[5]) and 29 -> 19.
    int32_t e = 64040;
    for (int frame = 0; frame < 30; ++frame, e += 40) BlockFlashPass(e);
    EXPECT_EQ(BlockAge[5], 19);
    EXPECT_EQ(BlockAge[9], 19);
    EXPECT_EQ(CellBuffer[25 * CellColumns + 20] >> 8, 7);  // block 9
    EXPECT_EQ(CellBuffer[0 * CellColumns + 39] >> 8, 9);   // block 1
    EXPECT_EQ(CellBuffer[24 * CellColumns + 20] >> 8, 7);  // block 5
    for (int frame = 0; frame < 2000; ++frame, e += 40) BlockFlashPass(e);
    for (int32_t age : BlockAge) {
        EXPECT_GE(age, 0);
        EXPECT_LE(age, 19);
    }
}

TEST_F(ColourPasses, StateLeftOutOfRangeNeverIndexesPastTheRamps) {
    FlashStep = 1000;
    CyanFlashPass(16040);
    EXPECT_EQ(uniformAttribute(), 7);
    EXPECT_EQ(FlashStep, 9);
    FlashStep = -5;
    RedFlashPass(16040);
    EXPECT_EQ(uniformAttribute(), 12);
    BlockAge[3] = 500;
    BlockPickCounter = INT32_MAX - 100;  // wraps at this pick
    BlockFlashPass(64040);
    BlockFlashPass(64120);
    for (int32_t age : BlockAge) EXPECT_LE(age, 500);
}
