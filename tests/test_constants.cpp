#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "numeric/constants.h"

namespace {

TEST(Constants, SmallNumbersHaveTheirWords) {
    EXPECT_EQ(ONE.w, 0x4000000000008002ull);
    EXPECT_EQ(HALF.w, 0x4000000000008001ull);
    EXPECT_EQ(TWO.w, 0x4000000000008003ull);
    EXPECT_EQ(FOUR.w, 0x4000000000008004ull);
    EXPECT_EQ(SUN_LIFETIME_GYR.w, 0x5000000000008005ull);
    EXPECT_EQ(GALAXY_AGE_GYR.w, 0x6CCCCCCCCCCC8005ull);
    EXPECT_EQ(UNIT_PARSECS.w, 0x5B38469DBA8D7FD8ull);
}

}  // namespace
