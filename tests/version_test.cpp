#include <gtest/gtest.h>

#include <string>

#include "config/configuration.h"

namespace qor {
namespace {

int sign(int value) { return (value > 0) - (value < 0); }

// Checks both directions, so that an ordering that is not antisymmetric
// shows up too.
void expect_order(std::string_view a, std::string_view b, int expected) {
  EXPECT_EQ(sign(compare_versions(a, b)), expected) << '"' << a << "\" vs \"" << b << '"';
  EXPECT_EQ(sign(compare_versions(b, a)), -expected) << '"' << b << "\" vs \"" << a << '"';
}

TEST(VersionTest, NumericComponentsCompareByValue) {
  expect_order("10", "9", 1);
  expect_order("2.6.32", "2.6.4", 1);
  expect_order("01", "1", 0);
  expect_order("000", "0", 0);
  expect_order("3.010", "3.9", 1);
  expect_order("007", "10", -1);
}

TEST(VersionTest, NumbersOfAnyLengthCompareExactly) {
  expect_order("4294967296", "0", 1);
  expect_order("4294967301", "5", 1);
  expect_order("18446744073709551616", "18446744073709551615", 1);
  expect_order("99999999999999999999999", "18446744073709551615", 1);
  expect_order("0000018446744073709551616", "18446744073709551616", 0);
  expect_order("1.18446744073709551617", "1.18446744073709551616", 1);
}

TEST(VersionTest, MixedComponentsCompareByteWise) {
  expect_order("10a", "9", -1);
  expect_order("6.1.0-18-amd64", "6.1.0-18-arm64", -1);
  expect_order("rc1", "rc10", -1);
  expect_order("a", "B", 1);
  expect_order("1.\xff", "1.a", 1);  // bytes are unsigned
  expect_order("1a", "1a", 0);
  expect_order("01a", "1a", -1);
}

TEST(VersionTest, ByteWiseResultIsTheByteDifference) {
  EXPECT_EQ(compare_versions("b", "a"), 1);
  EXPECT_EQ(compare_versions("a", "z"), 'a' - 'z');
  EXPECT_EQ(compare_versions("ab", "a"), 'b');
  EXPECT_EQ(compare_versions("x.a", "x.abc"), -'b');
  EXPECT_EQ(compare_versions("\xff", "a"), 0xff - 'a');
  EXPECT_EQ(compare_versions("10", "9"), 1);
  EXPECT_EQ(compare_versions("9", "4294967296"), -1);
}

TEST(VersionTest, SeparatorsAreEquivalent) {
  expect_order("1.2", "1:2", 0);
  expect_order("1-2", "1.2", 0);
  expect_order("3.13.0-24-generic", "3:13:0.24.generic", 0);
  expect_order("1.2", "1.2.", -1);  // a trailing separator adds an empty component
}

TEST(VersionTest, EmptyComponentsAndEmptyVersions) {
  expect_order("", "", 0);
  expect_order("", "0", -1);
  expect_order("", ".", -1);
  expect_order(".1", "0.1", -1);  // empty against numeric is byte-wise
  expect_order("1..2", "1.0.2", -1);
  expect_order("..", "..", 0);
  EXPECT_EQ(compare_versions("", "abc"), -1);
}

TEST(VersionTest, LongerComponentListOrdersAfter) {
  expect_order("3.13", "3.13.0-24-generic", -1);
  expect_order("1.0", "1.0.0", -1);
  expect_order("2.6", "2.6.32", -1);
  std::string many = "1";
  for (int i = 0; i < 10000; ++i) {
    many += ".1";
  }
  expect_order(many, many + ".0", -1);
  expect_order(many, many, 0);
}

TEST(VersionTest, NothingAfterNulCounts) {
  expect_order(std::string_view("1.2\0.9", 6), "1.2", 0);
  expect_order(std::string_view("\0"
                                "5",
                                2),
               "", 0);
}

}  // namespace
}  // namespace qor
