// Kernel-range lines: "k LOWER UPPER NESTED-LINE", where the nested line
// applies only while the running kernel lies in [LOWER, UPPER).
#pragma once

#include <functional>
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

// Decides, for one link of a chain of kernel ranges, whether to go on into
// its nested line: value is the link's value and range its match (nullopt
// where the value does not match).
using EnterKernelRange =
    std::function<bool(std::string_view value, const std::optional<KernelRange> &range)>;

// Follows the chain of kernel ranges that starts with the k line line, each
// nested line that is itself a k line being the next link, while enter says
// so. Returns the first nested line that is not a k line, or nullopt where a
// value does not match or enter said no. Linear in the line's length,
// however deep the chain.
std::optional<std::string_view> follow_kernel_ranges(std::string_view line,
                                                     const EnterKernelRange &enter);

}  // namespace qor
