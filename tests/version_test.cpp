#include <gtest/gtest.h>

#include <string>

#include "config/configuration.h"

namespace qor {
namespace {

struct Case {
  std::string_view a;
  std::string_view b;
  int order;  // the sign of compare_versions(a, b)
};

// Checks both directions, so that an ordering that is not antisymmetric
// shows up too.
void expect_orders(std::initializer_list<Case> cases) {
  const auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const Case &c : cases) {
    EXPECT_EQ(sign(compare_versions(c.a, c.b)), c.order) << '"' << c.a << "\" vs \"" << c.b << '"';
    EXPECT_EQ(sign(compare_versions(c.b, c.a)), -c.order) << '"' << c.b << "\" vs \"" << c.a << '"';
  }
}

TEST(VersionTest, NumbersCompareByExactValueAtAnyLength) {
  expect_orders({{"10", "9", 1},
                 {"2.6.32", "2.6.4", 1},
                 {"01", "1", 0},
                 {"000", "0", 0},
                 {"4294967296", "0", 1},
                 {"4294967301", "5", 1},
                 {"18446744073709551616", "18446744073709551615", 1},
                 {"99999999999999999999999", "18446744073709551615", 1},
                 {"0000018446744073709551616", "18446744073709551616", 0}});
}

TEST(VersionTest, OtherComponentsCompareByteWise) {
  expect_orders({{"10a", "9", -1},
                 {"6.1.0-18-amd64", "6.1.0-18-arm64", -1},
                 {"rc1", "rc10", -1},
                 {"1.\xff", "1.a", 1},  // bytes are unsigned
                 {"01a", "1a", -1}});
  // The result is the byte difference, as strcmp gives it.
  EXPECT_EQ(compare_versions("a", "z"), 'a' - 'z');
  EXPECT_EQ(compare_versions("ab", "a"), 'b');
  EXPECT_EQ(compare_versions("x.a", "x.abc"), -'b');
  EXPECT_EQ(compare_versions("\xff", "a"), 0xff - 'a');
}

TEST(VersionTest, SeparatorsAndEmptyComponents) {
  expect_orders({{"1.2", "1:2", 0},
                 {"3.13.0-24-generic", "3:13:0.24.generic", 0},
                 {"1.2", "1.2.", -1},  // a trailing separator adds an empty component
                 {".1", "0.1", -1},    // empty against a number is byte-wise
                 {"1..2", "1.0.2", -1},
                 {"", "", 0},
                 {"", ".", -1},
                 {"", "0", -1}});
}

TEST(VersionTest, LongerListOrdersAfterAndNothingAfterNulCounts) {
  std::string many = "1";
  for (int i = 0; i < 10000; ++i) {
    many += ".1";
  }
  expect_orders({{"3.13", "3.13.0-24-generic", -1},
                 {"1.0", "1.0.0", -1},
                 {many, many + ".0", -1},
                 {std::string_view("1.2\0.9", 6), "1.2", 0},
                 {std::string_view("\0005", 2), "", 0}});
}

}  // namespace
}  // namespace qor
