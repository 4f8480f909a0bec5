#include <algorithm>
#include <optional>
#include <string_view>

#include "config/configuration.h"

namespace qor {

namespace {

constexpr std::string_view kSeparators = ".:-";

// Walks the components of a version in order without copying them. Each
// separator ends a component on its own, so ".." holds an empty one; an empty
// version has no components at all.
class Components {
 public:
  explicit Components(std::string_view version) : rest_(version), done_(version.empty()) {}

  std::optional<std::string_view> next() {
    if (done_) {
      return std::nullopt;
    }
    const std::size_t end = rest_.find_first_of(kSeparators);
    const std::string_view component = rest_.substr(0, end);
    if (end == std::string_view::npos) {
      done_ = true;
    } else {
      rest_.remove_prefix(end + 1);
    }
    return component;
  }

 private:
  std::string_view rest_;
  bool done_;
};

bool is_number(std::string_view component) {
  return !component.empty() && std::all_of(component.begin(), component.end(),
                                           [](char c) { return c >= '0' && c <= '9'; });
}

int sign(int value) { return (value > 0) - (value < 0); }

// Orders two digit strings by their exact value, however long they are: once
// leading zeros are gone, the longer one is bigger, and equal lengths order
// like their digits.
int compare_numbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) {
    return a.size() < b.size() ? -1 : 1;
  }
  return sign(a.compare(b));
}

// Orders like strcmp on the two components: the difference of the first
// differing unsigned bytes, or, where one is a prefix of the other, the next
// byte of the longer one with the sign of its side.
int compare_bytes(std::string_view a, std::string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  const auto *ua = reinterpret_cast<const unsigned char *>(a.data());
  const auto *ub = reinterpret_cast<const unsigned char *>(b.data());
  for (std::size_t i = 0; i < common; ++i) {
    if (ua[i] != ub[i]) {
      return ua[i] - ub[i];
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() > b.size() ? ua[common] : -static_cast<int>(ub[common]);
}

int compare_components(std::string_view a, std::string_view b) {
  return is_number(a) && is_number(b) ? compare_numbers(a, b) : compare_bytes(a, b);
}

// Versions are C strings to their writers: nothing after a NUL byte counts.
std::string_view c_string(std::string_view text) { return text.substr(0, text.find('\0')); }

}  // namespace

int compare_versions(std::string_view a, std::string_view b) {
  Components left(c_string(a));
  Components right(c_string(b));
  for (;;) {
    const std::optional<std::string_view> x = left.next();
    const std::optional<std::string_view> y = right.next();
    if (!x || !y) {
      return static_cast<int>(x.has_value()) - static_cast<int>(y.has_value());
    }
    if (const int order = compare_components(*x, *y); order != 0) {
      return order;
    }
  }
}

}  // namespace qor
