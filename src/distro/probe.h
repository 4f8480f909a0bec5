// The probe's pure core and its one contact with the system, kept apart from
// the process-wide record so tests can feed it text and paths.
#pragma once

#include <string>
#include <string_view>

#include <qor/distro_info.hpp>

namespace qor {

// Where the probe looks. The defaults are the real system's.
struct DistroSources {
  std::string command_line = "lsb_release -a";
  std::string fedora_release_path = "/etc/fedora-release";
};

// Reads the tool's captured output into info: "Key: value" lines for the four
// known keys, values trimmed, later lines overwriting earlier ones; then
// Fedora's codename is taken from its description where that matches.
// Output is read as a C string: nothing after a NUL byte counts.
void parse_lsb_release_output(std::string_view output, DistroInfo &info);

// The record the fallback road makes from the text of /etc/fedora-release.
DistroInfo parse_fedora_release(std::string_view text);

// Where the process-wide probe looks: the real system's in the library and
// the tools (src/outside), and in what the tests build, what the test names.
const DistroSources &system_distro_sources();

// Runs one probe against the given sources. The result's valid flag is unset
// when neither the tool could start nor the release file be read.
DistroInfo probe_distro(const DistroSources &sources);

}  // namespace qor
