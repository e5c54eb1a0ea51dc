#include "app/main/AppVersion.h"

#include <gtest/gtest.h>

TEST(AppVersion, IsTheReleaseVersion) { EXPECT_EQ(AppVersion(), "4.1.5"); }
