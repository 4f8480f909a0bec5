// The instruction parser: one line of a section at a time.
#pragma once

#include <string_view>

#include "config/configuration.h"

namespace qor {

// Interprets one instruction line (without its "\n") into config. Returns
// true to go on with the section, false where the line ends it (a line that
// begins with "["). kernel_release is the running kernel's release, against
// which kernel-range ("k") lines are decided. The line is read as a C string:
// nothing after a NUL byte counts.
bool parse_cfg_line(Configuration &config, std::string_view line, std::string_view kernel_release);

// The same against the running kernel, whose release is read from the system
// the first time a kernel-range line needs it.
bool parse_cfg_line(Configuration &config, std::string_view line);

// The running kernel's release (uname), read once per process.
std::string_view running_kernel_release();

}  // namespace qor
