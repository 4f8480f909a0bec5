#include <qor/compare_versions.hpp>

#include <algorithm>

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

  // Moves on to the next component; false after the last.
  bool next(Component &component) {
    if (done_) {
      return false;
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
    component = {std::string_view(rest_.data(), end), digits && end != 0};
    done_ = end == rest_.size();
    rest_.remove_prefix(done_ ? end : end + 1);
    return true;
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
  Component x;
  Component y;
  for (;;) {
    const bool has_x = left.next(x);
    const bool has_y = right.next(y);
    if (!has_x || !has_y) {
      return static_cast<int>(has_x) - static_cast<int>(has_y);
    }
    // Other components order byte-wise, as unsigned bytes.
    const int order =
        x.number && y.number ? compare_numbers(x.text, y.text) : x.text.compare(y.text);
    if (order != 0) {
      return order;
    }
  }
}

}  // namespace qor
