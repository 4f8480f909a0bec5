#include <glib.h>
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "common/glib_ptr.h"
#include "config/kernel_range.h"

namespace qor {
namespace {

using Captures = std::optional<std::vector<std::string>>;

// What the Perl-compatible engine itself finds: the first match of the
// kernel-range pattern, as its three captures.
Captures reference_match(const std::string &value) {
  static const std::unique_ptr<GRegex, FreeWith<g_regex_unref>> regex(g_regex_new(
      R"(([0-9.]+)\s+([0-9.]+)\s+(.*))", GRegexCompileFlags(0), GRegexMatchFlags(0), nullptr));
  g_autoptr(GMatchInfo) info = nullptr;
  if (!g_regex_match(regex.get(), value.c_str(), GRegexMatchFlags(0), &info)) {
    return std::nullopt;
  }
  std::vector<std::string> groups;
  for (int i = 1; i <= 3; ++i) {
    g_autofree char *group = g_match_info_fetch(info, i);
    groups.emplace_back(group);
  }
  return groups;
}

Captures ours(const std::string &value) {
  const std::optional<KernelRange> range = match_kernel_range(value);
  if (!range) {
    return std::nullopt;
  }
  return std::vector<std::string>{std::string(range->lower), std::string(range->upper),
                                  std::string(range->nested)};
}

// Pieces the generated values are made of: bound characters, every kind of
// white space and line break, near misses, and broken UTF-8. The first eight
// are what a match is made of.
const std::vector<std::string> kPieces = {
    "0", "1", "9", "42", ".", "..", " ", " ",
    // white space and line breaks
    "\t", "\n", "\r", "\v", "\f", "\u0085", "\u00a0", "\u1680", "\u180e", "\u2000", "\u200a",
    "\u2028", "\u2029", "\u202f", "\u205f", "\u3000",
    // near misses
    "\x1c", "\x1f", "\u200b", "\u0660", "\ufffe", "\U0010ffff", "a", "k", "s", "x y", "\xc3\xa9",
    // not UTF-8
    "\xff", "\x80", "\xe2\x80", "\xed\xa0\x80", "\xc0\x80", "\xf4\x90\x80\x80",
    "\xf8\x88\x80\x80\x80", "\xe0\x80\x80", std::string("\0", 1)};

std::string random_value(std::mt19937 &random) {
  std::uniform_int_distribution<std::size_t> count(0, 10);
  std::uniform_int_distribution<std::size_t> pick(0, kPieces.size() - 1);
  std::uniform_int_distribution<int> common(0, 3);
  std::string value;
  for (std::size_t i = count(random); i > 0; --i) {
    // Favour the pieces a match is made of, so that matches are frequent.
    value += common(random) == 0 ? kPieces[pick(random)] : kPieces[pick(random) % 8];
  }
  return value;
}

std::string escaped(const std::string &value) {
  g_autofree char *text = g_strescape(value.c_str(), nullptr);
  return text;
}

TEST(KernelRangeTest, AgreesWithTheRegexEngine) {
  std::mt19937 random(20240611);
  int matches = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::string value = random_value(random);
    const auto expected = reference_match(value);
    ASSERT_EQ(ours(value), expected) << "value: " << escaped(value);
    matches += expected.has_value();
  }
  EXPECT_GT(matches, 10000);  // the comparison is worth something only with matches
}

TEST(KernelRangeTest, LongValues) {
  const std::size_t mib = 1U << 20U;
  std::string miss;
  while (miss.size() < mib) {
    miss += "1.2 3.4x \u00a0";
  }
  EXPECT_FALSE(match_kernel_range(miss));
  const std::string hit = miss + "5.6 7.8 s end";
  const auto range = match_kernel_range(hit);
  ASSERT_TRUE(range);
  EXPECT_EQ(range->lower, "5.6");
  EXPECT_EQ(range->nested, "s end");
  EXPECT_EQ(reference_match(hit), ours(hit));
}

}  // namespace
}  // namespace qor
