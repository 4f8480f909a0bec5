#include "config/version.h"

#include <algorithm>
#include <string_view>

namespace qor {

namespace {

// One component of a version, and whether it is a number: non-empty and
// nothing but ASCII digits.
struct Component {
  std::string_view text;
  bool number = false;
};

// Walks the components of a version in order without copying them. Each of
// ".:-" ends a component on its own, so ".." holds an empty one; an empty
// version has no components at all. Versions are C strings to their writers,
// so a NUL byte ends the version.
class Components {
 public:
  explicit Components(std::string_view version)
      : rest_(version), done_(version.empty() || version.front() == '\0') {}

  // Moves on to the next component; false when there is none.
  bool next(Component &out) {
    if (done_) {
      return false;
    }
    std::size_t end = 0;
    bool digits = true;
    for (; end < rest_.size(); ++end) {
      const char c = rest_[end];
      if (c == '.' || c == ':' || c == '-' || c == '\0') {
        break;
      }
      digits = digits && c >= '0' && c <= '9';
    }
    out = Component{rest_.substr(0, end), digits && end != 0};
    done_ = end == rest_.size() || rest_[end] == '\0';
    rest_.remove_prefix(done_ ? end : end + 1);
    return true;
  }

 private:
  std::string_view rest_;
  bool done_;
};

std::string_view strip_zeros(std::string_view digits) {
  while (!digits.empty() && digits.front() == '0') {
    digits.remove_prefix(1);
  }
  return digits;
}

// Orders two digit strings by their exact value, however long they are: once
// leading zeros are gone, the longer one is bigger, and equal lengths order
// like their digits.
int compare_numbers(std::string_view a, std::string_view b) {
  a = strip_zeros(a);
  b = strip_zeros(b);
  if (a.size() != b.size()) {
    return a.size() < b.size() ? -1 : 1;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i]) {
      return a[i] < b[i] ? -1 : 1;
    }
  }
  return 0;
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

int compare_components(const Component &a, const Component &b) {
  return a.number && b.number ? compare_numbers(a.text, b.text) : compare_bytes(a.text, b.text);
}

}  // namespace

int compare_versions(std::string_view a, std::string_view b) {
  Components left(a);
  Components right(b);
  Component x;
  Component y;
  for (;;) {
    const bool has_x = left.next(x);
    const bool has_y = right.next(y);
    if (!has_x || !has_y) {
      return static_cast<int>(has_x) - static_cast<int>(has_y);
    }
    if (const int order = compare_components(x, y); order != 0) {
      return order;
    }
  }
}

}  // namespace qor
