// Matching the value of a kernel-range line: "LOWER UPPER NESTED-LINE".
#pragma once

#include <optional>
#include <string_view>

namespace qor {

// The three parts of a kernel-range value; each views the value passed in.
struct KernelRange {
  std::string_view lower;
  std::string_view upper;
  std::string_view nested;
};

// Finds the first match of ([0-9.]+)\s+([0-9.]+)\s+(.*) in value, as a
// Perl-compatible search over UTF-8 text would: \s is any Unicode white space,
// "." stops at any line break, and a value that is not valid UTF-8 has no
// match. The value is read as a C string: nothing after a NUL byte counts.
// Runs in time linear in the value's length.
std::optional<KernelRange> match_kernel_range(std::string_view value);

// The same for the value of a line nested in a match: the nested part of a
// KernelRange, less a leading word and white space. Such a value is already
// known to be valid UTF-8 without NUL bytes or line breaks, so it is neither
// checked again nor searched for a line end: deeply nested lines then cost
// time linear in their whole length, not in its square. Any other value may
// get a wrong answer.
std::optional<KernelRange> match_nested_kernel_range(std::string_view value);

}  // namespace qor
