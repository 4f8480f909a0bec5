#include "config/version.h"

#include <gtest/gtest.h>

namespace qor {
namespace {

// Each pair is ordered both ways, so that an order that is not antisymmetric
// shows up too.
TEST(VersionTest, OrdersComponentByComponent) {
  const struct {
    std::string_view a;
    std::string_view b;
    int order;  // the sign of compare_versions(a, b)
  } cases[] = {
      // clang-format off
      // Numbers by their value, at any length.
      {"10", "9", 1}, {"2.6.32", "2.6.4", 1}, {"01", "1", 0}, {"4294967296", "0", 1},
      {"18446744073709551616", "18446744073709551615", 1},
      {"00018446744073709551616", "18446744073709551616", 0},
      // Anything else byte by byte, bytes unsigned.
      {"10a", "9", -1}, {"6.1.0-18-amd64", "6.1.0-18-arm64", -1}, {"rc1", "rc10", -1},
      {"1.\xff", "1.a", 1}, {"01a", "1a", -1}, {".1", "0.1", -1},
      // The separators alike, each making a component; more components after.
      {"1.2", "1:2", 0}, {"3.13.0-24-generic", "3:13:0.24.generic", 0}, {"1..2", "1.0.2", -1},
      {"3.13", "3.13.0-24-generic", -1}, {"1.2", "1.2.", -1}, {"", "", 0}, {"", "0", -1},
      // clang-format on
  };
  const auto sign = [](int value) { return (value > 0) - (value < 0); };
  for (const auto &c : cases) {
    EXPECT_EQ(sign(compare_versions(c.a, c.b)), c.order) << c.a << " vs " << c.b;
    EXPECT_EQ(sign(compare_versions(c.b, c.a)), -c.order) << c.b << " vs " << c.a;
  }
}

}  // namespace
}  // namespace qor
