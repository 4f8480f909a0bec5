// The loader's pure core: the pieces of get_configuration that take their
// inputs, so tests can call them on any text, path and kernel.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "config/configuration.h"
#include "distro/distro_info.h"

namespace qor {

// "[distributor codename]", absent fields shown as kAbsentFieldText.
std::string make_config_id(const DistroInfo &info);

// The local copy's path: home joined with ".qor-config" by exactly one "/".
std::string config_local_path(std::string_view home);

// The home directory: HOME when set and not empty, else the user's entry in
// the password database.
std::string home_directory();

// A new record: six empty lists, errors absent.
Configuration new_configuration();

// Parses, into config, the section of text whose header line begins with
// config_id: from the line after the header up to the first empty line, line
// beginning with "[", or the end of the text. Without such a header nothing
// is parsed. Text is read as a C string: nothing after a NUL byte counts.
void parse_section(Configuration &config, std::string_view text, std::string_view config_id,
                   std::string_view kernel_release);

// The dump of the record, exactly as it goes to standard error.
std::string format_configuration(const Configuration &config);

}  // namespace qor
