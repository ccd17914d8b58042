#include <gtest/gtest.h>

#include "shell/startup.h"

TEST(Startup, Placeholder)
{
    EXPECT_EQ(10, RunProgram(GetModuleHandleW(nullptr)));
}
