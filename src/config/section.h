// A distribution's section of the configuration file, and the record it
// fills.
#pragma once

#include <string>
#include <string_view>

#include <qor/configuration.hpp>
#include "base/line_reader.h"
#include "config/parser.h"

namespace qor {

// A new record as the loader starts it: six empty lists, errors absent.
Configuration new_configuration();

// Parses into config the section whose header line begins with config_id:
// the lines after the header up to the first empty line, line beginning with
// "[", or the end of the text. Without such a header nothing is parsed.
// Reads from lines only as far as the section's end, and of the lines before
// the header only what the comparison with config_id needs.
void parse_section(Configuration &config, LineReader &lines, std::string_view config_id,
                   std::string_view kernel_release, Warnings warnings = Warnings::kLog);

// Parses the section for config_id out of the whole text of a configuration
// file into a new record.
Configuration parse_configuration(std::string_view text, std::string_view config_id,
                                  std::string_view kernel_release);

// The dump of the record, exactly as it goes to standard error: "{", one
// line per list in the record's order, "}".
std::string format_configuration(const Configuration &config);

}  // namespace qor
