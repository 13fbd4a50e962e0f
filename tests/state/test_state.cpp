#include <gtest/gtest.h>

#include "state/mod_variabili.h"

namespace lcdprog {
namespace {

TEST(ProgramState, ResetZeroesEveryVariable) {
    Images_64240B[2] = {"/x/a.bmp", "a.bmp", 64, 240, 1};
    Font_5x8[4] = 128;
    Font_10x16[9] = 32768;
    SaveDialogMode = true;
    MemoryImage[0x8011] = 2;
    RxBuffer = "abc";
    RxLength = 3;
    StopRequested = true;
    RunInProgress = true;

    Reset_Program_State();

    EXPECT_TRUE(Images_64240B[2].FullPath.empty());
    EXPECT_EQ(Images_64240B[2].Width, 0);
    EXPECT_EQ(Font_5x8[4], 0);
    EXPECT_EQ(Font_10x16[9], 0);
    EXPECT_FALSE(SaveDialogMode);
    EXPECT_EQ(MemoryImage[0x8011], 0);
    EXPECT_TRUE(RxBuffer.empty());
    EXPECT_EQ(RxLength, 0);
    EXPECT_FALSE(StopRequested);
    EXPECT_FALSE(RunInProgress);
}

}  // namespace
}  // namespace lcdprog
