#include "config/version.h"

#include <algorithm>
#include <optional>

namespace qor {

namespace {

// One component of a version, and whether it is a number: non-empty and
// nothing but ASCII digits.
struct Component {
  std::string_view text;
  bool number = false;
};

// Walks the components of a version in order without copying them, reading
// each byte once. Each of ".:-" ends a component on its own, so ".." holds an
// empty one; an empty version has no components at all.
class Components {
 public:
  explicit Components(std::string_view version) : rest_(version), done_(version.empty()) {}

  // The next component, or nullopt after the last.
  std::optional<Component> next() {
    if (done_) {
      return std::nullopt;
    }
    std::size_t end = 0;
    bool digits = true;
    for (; end < rest_.size(); ++end) {
      const char c = rest_[end];
      if (c == '.' || c == ':' || c == '-') {
        break;
      }
      digits = digits && c >= '0' && c <= '9';
    }
    const Component component{rest_.substr(0, end), digits && end != 0};
    done_ = end == rest_.size();
    rest_.remove_prefix(done_ ? end : end + 1);
    return component;
  }

 private:
  std::string_view rest_;
  bool done_;
};

// Orders two digit strings by their exact value, however long they are: once
// leading zeros are gone, the longer one is bigger, and equal lengths order
// like their digits.
int compare_numbers(std::string_view a, std::string_view b) {
  a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
  b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
  if (a.size() != b.size()) {
    return a.size() < b.size() ? -1 : 1;
  }
  return a.compare(b);
}

}  // namespace

int compare_versions(std::string_view a, std::string_view b) {
  Components left(a);
  Components right(b);
  for (;;) {
    const std::optional<Component> x = left.next();
    const std::optional<Component> y = right.next();
    if (!x || !y) {
      return static_cast<int>(x.has_value()) - static_cast<int>(y.has_value());
    }
    // Other components order byte-wise, as unsigned bytes.
    const int order =
        x->number && y->number ? compare_numbers(x->text, y->text) : x->text.compare(y->text);
    if (order != 0) {
      return order;
    }
  }
}

}  // namespace qor
