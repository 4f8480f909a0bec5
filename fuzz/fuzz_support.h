// Helpers shared by the fuzz targets.
#pragma once

#include <glib.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

namespace qor::fuzz {

// The parser warns about every unrecognised line; at tens of thousands of
// inputs a second that would bury libFuzzer's own report. Both roads into the
// log are closed: g_log() goes through the default handler, g_warning() under
// structured logging through the writer.
inline void silence_glib_log() {
  g_log_set_default_handler([](const char *, GLogLevelFlags, const char *, gpointer) {}, nullptr);
  g_log_set_writer_func(
      [](GLogLevelFlags, const GLogField *, gsize, gpointer) { return G_LOG_WRITER_HANDLED; },
      nullptr, nullptr);
}

// A copy of bytes in a block of exactly their size, with no terminating NUL,
// so AddressSanitizer sees any read past the end of a view.
class ExactBuffer {
 public:
  explicit ExactBuffer(std::string_view bytes)
      : size_(bytes.size()), data_(std::make_unique<char[]>(bytes.size())) {
    if (size_ != 0) {
      std::memcpy(data_.get(), bytes.data(), size_);
    }
  }
  std::string_view view() const { return {data_.get(), size_}; }

 private:
  std::size_t size_;
  std::unique_ptr<char[]> data_;
};

// A broken property is a finding: say which, and abort so libFuzzer keeps the
// input as a crash.
[[noreturn]] inline void fail(const char *what) {
  static_cast<void>(std::fprintf(stderr, "property violated: %s\n", what));
  std::abort();
}

inline void check(bool holds, const char *what) {
  if (!holds) {
    fail(what);
  }
}

}  // namespace qor::fuzz
