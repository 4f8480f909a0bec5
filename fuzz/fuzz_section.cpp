// Fuzzes the instruction parser over whole sections: parse_section with any
// text, config-id and kernel release.
//
// Input layout, chosen so that seeds stay readable text:
//   byte 0          control: bits 0-1 pick the config-id, bit 2 puts its
//                   header line in front of the text, and bits 3 to 7 at
//                   0b01111 blow the last line up to 64 KiB or more;
//   up to the "\n"  the running kernel's release;
//   the rest        the configuration text.
// So '4' to '7' parse a section at once, '0' to '3' only if the text brings
// its own header, and 'x' to 0x7f add a huge last line (one input in 32: long
// lines are slow to parse, short ones find most).
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/loader.h"
#include "fuzz_support.h"

namespace {

using qor::fuzz::check;

constexpr std::array<std::string_view, 4> kConfigIds = {"[Debian bookworm]", "[Fedora Heisenbug]",
                                                        "[(null) (null)]", "[Ubuntu trusty]"};
constexpr std::size_t kHugeLine = std::size_t{64} * 1024;

struct SectionInput {
  std::string kernel;
  std::string text;
  std::string_view config_id;
};

void blow_up_last_line(std::string &text) {
  const std::size_t newline = text.rfind('\n');
  const std::size_t start = newline == std::string::npos ? 0 : newline + 1;
  std::string line = text.substr(start);
  if (line.empty()) {
    return;
  }
  while (line.size() < kHugeLine) {
    line += line;
  }
  text.replace(start, std::string::npos, line);
}

SectionInput split_input(std::string_view data) {
  const auto control = static_cast<unsigned char>(data.front());
  data.remove_prefix(1);
  const std::size_t end = std::min(data.find('\n'), data.size());
  SectionInput input{std::string(data.substr(0, end)), {}, kConfigIds[control & 3U]};
  const std::string_view body = end < data.size() ? data.substr(end + 1) : std::string_view();
  if ((control & 4U) != 0) {
    input.text = std::string(input.config_id) + "\n";
  }
  input.text += body;
  if ((control & 0xf8U) == 0x78U) {
    blow_up_last_line(input.text);
  }
  return input;
}

bool is_trim_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\f' || c == '\r'; }

// What holds for every list whatever the lines said: each value is a piece of
// one line (no "\n", no NUL, shorter than the text) and trimmed lists are
// trimmed.
void check_list(const std::optional<qor::StringList> &list, bool trimmed, std::size_t &values,
                std::size_t &bytes) {
  check(list.has_value(), "a list the loader created went missing");
  for (const std::string &value : *list) {
    check(value.find('\n') == std::string::npos, "a stored value holds a line break");
    check(value.find('\0') == std::string::npos, "a stored value holds a NUL byte");
    check(!trimmed || value.empty() ||
              (!is_trim_space(value.front()) && !is_trim_space(value.back())),
          "a trimmed list holds a value with white space at an end");
    ++values;
    bytes += value.size();
  }
}

void check_configuration(const qor::Configuration &config, std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::size_t values = 0;
  std::size_t bytes = 0;
  if (config.errors) {
    check(!config.errors->empty(), "the errors list exists but is empty");
    check_list(config.errors, false, values, bytes);
  }
  for (const auto *list : {&config.sources, &config.keys, &config.docs, &config.INSTALL,
                           &config.install, &config.upgrade}) {
    check_list(*list, true, values, bytes);
  }
  // One line stores at most one value, and every value is a piece of its line.
  const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
  check(values <= lines, "more values stored than the text has lines");
  check(bytes <= text.size(), "more bytes stored than the text has");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int * /*argc*/, char *** /*argv*/) {
  qor::fuzz::silence_glib_log();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const SectionInput input = split_input({reinterpret_cast<const char *>(data), size});
  const qor::fuzz::ExactBuffer text(input.text);
  const qor::fuzz::ExactBuffer kernel(input.kernel);
  const qor::fuzz::ExactBuffer config_id(input.config_id);
  qor::Configuration config = qor::new_configuration();
  qor::parse_section(config, text.view(), config_id.view(), kernel.view());
  check_configuration(config, text.view());
  return 0;
}
