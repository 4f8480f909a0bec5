// The hand-written kernel-range matcher against the regex engine itself.
#include "config/kernel_range.h"

#include <glib.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace qor {
namespace {

using Captures = std::optional<std::vector<std::string>>;

Captures reference_match(const GRegex *regex, const std::string &value) {
  g_autoptr(GMatchInfo) info = nullptr;
  if (!g_regex_match(regex, value.c_str(), GRegexMatchFlags(0), &info)) {
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

// Values made of what a match is made of, every kind of white space and
// line break, near misses and broken UTF-8; the first eight pieces are the
// likeliest, so that matches are frequent.
TEST(KernelRangeTest, AgreesWithTheRegexEngine) {
  // clang-format off
  const std::vector<std::string> pieces = {
      "0", "1", "9", "42", ".", "..", " ", " ", "\t", "\n", "\r", "\v", "\f", "\u0085", "\u00a0",
      "\u1680", "\u180e", "\u2000", "\u200a", "\u2028", "\u2029", "\u202f", "\u205f", "\u3000",
      "\x1c", "\x1f", "\u200b", "\u0660", "\ufffe", "\U0010ffff", "a", "k", "s", "x y",
      "\xc3\xa9", "\xff", "\x80", "\xe2\x80", "\xed\xa0\x80", "\xc0\x80", "\xf4\x90\x80\x80",
      "\xe0\x80\x80"};
  // clang-format on
  g_autoptr(GRegex) regex = g_regex_new(R"(([0-9.]+)\s+([0-9.]+)\s+(.*))", GRegexCompileFlags(0),
                                        GRegexMatchFlags(0), nullptr);
  std::mt19937 random(20240611);
  std::uniform_int_distribution<std::size_t> count(0, 10);
  std::uniform_int_distribution<std::size_t> pick(0, pieces.size() - 1);
  int matches = 0;
  for (int i = 0; i < 200000; ++i) {
    std::string value;
    for (std::size_t n = count(random); n > 0; --n) {
      value += pieces[random() % 4 == 0 ? pick(random) : pick(random) % 8];
    }
    const Captures expected = reference_match(regex, value);
    ASSERT_EQ(ours(value), expected) << g_strescape(value.c_str(), nullptr);
    matches += expected.has_value() ? 1 : 0;
  }
  EXPECT_GT(matches, 10000);  // the comparison is worth something only with matches
}

}  // namespace
}  // namespace qor
