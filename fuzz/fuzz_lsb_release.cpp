// Fuzzes the probe's reading of the tool's output ("lsb_release -a").
//
// Input: the captured output, any bytes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "distro/probe.h"
#include "fuzz_support.h"

namespace {

using qor::fuzz::check;

bool is_trim_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// A field is a piece of one line: no line break, no NUL, and (where it was
// trimmed) no white space at either end.
void check_field(const std::optional<std::string> &field, bool trimmed, const char *what) {
  if (!field) {
    return;
  }
  check(field->find('\n') == std::string::npos, what);
  check(field->find('\0') == std::string::npos, what);
  check(!trimmed || field->empty() ||
            (!is_trim_space(field->front()) && !is_trim_space(field->back())),
        what);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
  qor::fuzz::silence_glib_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const qor::fuzz::ExactBuffer output(std::string_view(reinterpret_cast<const char *>(data), size));
  qor::DistroInfo info;
  qor::parse_lsb_release_output(output.view(), info);
  check_field(info.distributor, true, "distributor is not a trimmed piece of one line");
  check_field(info.description, true, "description is not a trimmed piece of one line");
  check_field(info.release, true, "release is not a trimmed piece of one line");
  // Fedora's codename comes from inside the parentheses of its description,
  // untrimmed; everyone else's is the tool's trimmed value.
  check_field(info.codename, info.distributor != "Fedora", "codename is not a piece of one line");

  qor::DistroInfo again;
  qor::parse_lsb_release_output(output.view(), again);
  check(again.distributor == info.distributor && again.description == info.description &&
            again.release == info.release && again.codename == info.codename,
        "the same output read twice gives different records");
  return 0;
}
