// The distribution configuration: the record its instruction lines fill, the
// loader that fetches it, and the version ordering its kernel ranges use.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qor {

// An ordered list of strings that owns them.
using StringList = std::vector<std::string>;

// The seven lists of one distribution's section. An absent slot (std::nullopt)
// is distinct from an empty list: the loader creates every list but errors,
// which comes into being with the first e line.
struct Configuration {
  std::optional<StringList> errors;
  std::optional<StringList> sources;
  std::optional<StringList> keys;
  std::optional<StringList> docs;
  std::optional<StringList> INSTALL;
  std::optional<StringList> install;
  std::optional<StringList> upgrade;
};

// Where the configuration file is published: "https://<host>/gfx/qor-config.cfg",
// the host fixed when the library was built.
extern const char ConfigUrl[];

// Returns the process-wide configuration, loading it on the first call:
// downloads ConfigUrl into ~/.qor-config, reads it and parses the section of
// the running distribution. Prints the record to standard error on every call
// that returns one. Returns nullptr when the file could not be downloaded or
// read; the next call then tries again. The record is owned by the library and
// lives until the process ends.
const Configuration *get_configuration();

// Orders two version strings such as kernel releases, component by component
// (components split at '.', ':' and '-'). Returns a negative number when a
// orders before b, zero when they are equal, a positive number after.
int compare_versions(std::string_view a, std::string_view b);

}  // namespace qor
