#include "core/NaturalOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

int Sign(int value) {
    return (value > 0) - (value < 0);
}

struct Case {
    const char* a;
    const char* b;
    int expected;
};

class NaturalOrder : public ::testing::TestWithParam<Case> {};

TEST_P(NaturalOrder, ComparesDigitsAsNumbers) {
    const Case& c = GetParam();
    EXPECT_EQ(Sign(core::NaturalCompare(c.a, c.b)), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(Sign(core::NaturalCompare(c.b, c.a)), -c.expected) << c.b << " vs " << c.a;
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NaturalOrder,
    ::testing::Values(Case{"pc 2", "pc 10", -1}, Case{"pc 10", "pc 10", 0}, Case{"9", "10", -1},
                      Case{"778899", "204518", 1},
                      // Equal numbers: the one written shorter first, and only then.
                      Case{"7", "007", -1}, Case{"007 b", "7 a", 1},
                      // Numbers longer than any integer type.
                      Case{"99999999999999999999999", "100000000000000000000000", -1},
                      Case{"", "a", -1}, Case{"a", "a1", -1}, Case{"a1b", "a1", 1},
                      Case{"desk 2 floor 10", "desk 2 floor 9", 1},
                      // Bytes beyond ASCII compare after it, as their UTF-8 does.
                      Case{"z", "\xC3\xA9", -1}, Case{"a 0", "a ", 1}));

TEST(NaturalOrderSort, PutsABookInTheOrderAPersonExpects) {
    std::vector<std::string> names{"pc 10", "pc 2", "pc 1", "desk", "pc 02", "pc"};
    std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return core::NaturalCompare(a, b) < 0;
    });
    EXPECT_EQ(names, (std::vector<std::string>{"desk", "pc", "pc 1", "pc 2", "pc 02", "pc 10"}));
}

} // namespace
