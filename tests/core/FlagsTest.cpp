#include "core/Flags.h"

#include <gtest/gtest.h>

TEST(Flags, IntegerFormsAreReadAndAnythingElseGivesTheDefault) {
    for (const char* yes :
         {"1", "2", "-1", "+3", "0x10", "0X1f", "$A", "$ffffffff", "2147483647"}) {
        EXPECT_TRUE(ReadFlag(yes, false)) << yes;
    }
    for (const char* no : {"0", "00", "$0", "0x0", "-0"}) {
        EXPECT_FALSE(ReadFlag(no, true)) << no;
    }
    // Not integers: the default, whichever it is.
    for (const char* other :
         {"", "yes", "0x", "$", "1.0", "1 ", "0x1g", "2147483648", "$100000000", "-", "x10"}) {
        EXPECT_TRUE(ReadFlag(other, true)) << other;
        EXPECT_FALSE(ReadFlag(other, false)) << other;
    }
    EXPECT_TRUE(ReadFlag("-2147483648", false));
    EXPECT_TRUE(ReadFlag(" \t7", false));
}
