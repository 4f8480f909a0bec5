// Kernel-range lines: "k LOWER UPPER NESTED-LINE", where the nested line
// applies only while the running kernel lies in [LOWER, UPPER).
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

// Finds the first match of ([0-9.]+)\s+([0-9.]+)\s+(.*) in value as GRegex
// does: \s is any Unicode white space, "." any character but a line break,
// and a value that is not valid UTF-8 (or holds a NUL byte) has no match.
// Linear in the value's length.
std::optional<KernelRange> match_kernel_range(std::string_view value);

// The chain of kernel ranges of a k line: the range of its value, then,
// while a range's nested line is itself a k line, that line's range, and so
// on. Walking a chain costs time linear in the line's length, however deep.
class KernelRangeChain {
 public:
  // The chain of line, a k line.
  explicit KernelRangeChain(std::string_view line);

  // The current link's value, and its range: nullopt where the value does
  // not match.
  std::string_view value() const { return value_; }
  const std::optional<KernelRange> &range() const { return range_; }

  // Moves on to the current range's nested line when that is a k line;
  // false, staying put, where it is not or there is no range.
  bool next();

 private:
  std::string_view value_;
  std::optional<KernelRange> range_;
};

}  // namespace qor
