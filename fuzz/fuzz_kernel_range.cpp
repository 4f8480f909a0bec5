// Fuzzes the hand-written kernel-range matcher against GRegex, the
// Perl-compatible engine whose answer it has to give, on the same value.
//
// Input: the value as a C string (cut at the first NUL). The nested line of a
// match is also fed to the shortcut matcher used for nested levels.
#include <glib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/kernel_range.h"
#include "fuzz_support.h"

namespace {

using qor::fuzz::check;

constexpr const char *kPattern = "([0-9.]+)\\s+([0-9.]+)\\s+(.*)";

GRegex *kernel_range_regex() {
  static GRegex *const regex = g_regex_new(kPattern, static_cast<GRegexCompileFlags>(0),
                                           static_cast<GRegexMatchFlags>(0), nullptr);
  return regex;
}

struct Capture {
  int start = -1;
  int end = -1;
};

// GRegex's answer: the three captures' byte offsets, or nothing. An error on
// valid UTF-8 (a resource limit) is no answer at all and is reported as such.
std::optional<std::optional<std::array<Capture, 3>>> regex_answer(const std::string &value) {
  g_autoptr(GMatchInfo) info = nullptr;
  g_autoptr(GError) error = nullptr;
  const bool matched = g_regex_match_full(kernel_range_regex(), value.c_str(), -1, 0,
                                          static_cast<GRegexMatchFlags>(0), &info, &error);
  if (error != nullptr &&
      g_utf8_validate(value.data(), static_cast<gssize>(value.size()), nullptr)) {
    return std::nullopt;
  }
  if (!matched) {
    return std::optional<std::array<Capture, 3>>();
  }
  std::array<Capture, 3> captures{};
  for (int i = 0; i < 3; ++i) {
    auto &capture = captures[static_cast<std::size_t>(i)];
    check(g_match_info_fetch_pos(info, i + 1, &capture.start, &capture.end) != FALSE,
          "GRegex matched without setting a group");
  }
  return captures;
}

void check_capture(std::string_view value, std::string_view got, const Capture &want,
                   const char *what) {
  const std::string_view expected =
      value.substr(static_cast<std::size_t>(want.start),
                   static_cast<std::size_t>(want.end) - static_cast<std::size_t>(want.start));
  check(got == expected, what);
  // The header promises views into the value: a capture must come from the
  // place GRegex found it, not merely read the same.
  check(got.empty() || got.data() == value.data() + want.start, what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
  qor::fuzz::silence_glib_log();
  check(kernel_range_regex() != nullptr, "the kernel-range pattern does not compile");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  std::string_view input(reinterpret_cast<const char *>(data), size);
  input = input.substr(0, input.find('\0'));
  const std::string value(input);
  const auto answer = regex_answer(value);
  if (!answer) {
    return 0;
  }
  const qor::fuzz::ExactBuffer exact(input);
  const auto range = qor::match_kernel_range(exact.view());
  check(range.has_value() == answer->has_value(), "matcher and GRegex disagree on a match");
  if (range) {
    const auto &captures = **answer;
    check_capture(exact.view(), range->lower, captures[0], "lower bound differs from GRegex");
    check_capture(exact.view(), range->upper, captures[1], "upper bound differs from GRegex");
    check_capture(exact.view(), range->nested, captures[2], "nested line differs from GRegex");
    // A nested line is valid UTF-8 without line breaks: the shortcut taken
    // for it must answer as the full matcher does.
    const auto full = qor::match_kernel_range(range->nested);
    const auto nested = qor::match_nested_kernel_range(range->nested);
    check(full.has_value() == nested.has_value(), "nested matcher disagrees on a match");
    check(!full || (full->lower.data() == nested->lower.data() &&
                    full->upper.data() == nested->upper.data() &&
                    full->nested.data() == nested->nested.data() &&
                    full->nested.size() == nested->nested.size()),
          "nested matcher disagrees on the captures");
  }
  return 0;
}
