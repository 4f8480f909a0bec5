// Fuzzes compare_versions for the properties any ordering function owes its
// callers. The mixed numeric and byte-wise order is not transitive (9 < 10,
// 10 < 10a... but 10a < 9), so transitivity is deliberately not asked for.
//
// Input: a, a NUL byte, b. Without a NUL the input is cut in half.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "fuzz_support.h"

namespace {

using qor::fuzz::check;

int sign(int value) { return (value > 0) - (value < 0); }

int compare(std::string_view a, std::string_view b) {
  const qor::fuzz::ExactBuffer left(a);
  const qor::fuzz::ExactBuffer right(b);
  return sign(qor::compare_versions(left.view(), right.view()));
}

// The three separators split alike, so writing them all as "." changes nothing.
std::string with_dots(std::string_view version) {
  std::string dotted(version);
  std::replace_if(
      dotted.begin(), dotted.end(), [](char c) { return c == ':' || c == '-'; }, '.');
  return dotted;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
  qor::fuzz::silence_glib_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char *>(data), size);
  const std::size_t nul = input.find('\0');
  const std::size_t cut = nul == std::string_view::npos ? size / 2 : nul;
  const std::string_view a = input.substr(0, cut);
  const std::string_view b = input.substr(nul == std::string_view::npos ? cut : cut + 1);

  check(compare(a, a) == 0, "cmp(a, a) != 0");
  check(compare(b, b) == 0, "cmp(b, b) != 0");
  check(compare(a, b) == -compare(b, a), "sign(cmp(a, b)) != -sign(cmp(b, a))");
  // a holds no NUL, so these stay within what the comparison reads.
  check(compare(a, with_dots(a)) == 0, "separators do not compare alike");
  check(compare(a, std::string(a) + ".0") < 0, "a version does not order before its extension");
  return 0;
}
