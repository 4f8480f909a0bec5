// Configuration files as a server may send them: a client's reading of its
// section, kernel ranges and all, and the publisher's checker on the same bytes.
#include <cstdint>
#include <string_view>

#include "base/line_reader.h"
#include "qor-config-check/checker.h"
#include "config/section.h"

namespace {

constexpr std::string_view kId = "[Debian bookworm]";
constexpr std::string_view kKernel = "6.1.0-13-amd64";

GLogWriterOutput drop(GLogLevelFlags, const GLogField *, gsize, gpointer) {
  return G_LOG_WRITER_HANDLED;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  // The clients' warnings go through GLib's log, which would bury libFuzzer's own output.
  static const bool quiet = (g_log_set_writer_func(drop, nullptr, nullptr), true);
  (void)quiet;
  const std::string_view text(reinterpret_cast<const char *>(data), size);
  qor::Configuration config = qor::new_configuration();
  qor::LineReader lines(text);
  qor::parse_section(config, lines, kId, kKernel);
  (void)qor::format_configuration(config);
  for (const qor::Finding &finding : qor::check_configuration(text).findings) {
    (void)qor::format_finding("fuzz.cfg", finding);
  }
  (void)qor::view_distribution(text, kId, kKernel);
  return 0;
}
