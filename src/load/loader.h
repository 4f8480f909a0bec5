// The pieces of loading the configuration that take their inputs, so that
// tests call them with any home, file and kernel.
#pragma once

#include <glib.h>

#include <optional>
#include <string>
#include <string_view>

#include <qor/configuration.hpp>

namespace qor {

// The home directory the local copy goes into: home_variable (HOME) when it
// is set and not empty, else passwd_home (the user's password-database entry)
// when that is not empty; nullopt when neither is.
std::optional<std::string> choose_home(const char *home_variable,
                                       const std::optional<std::string> &passwd_home);

// The home directory of this process's user, as choose_home picks it.
std::optional<std::string> home_directory();

// The local copy's path: home joined with ".qor-config".
std::string config_local_path(const std::string &home);

// The running kernel's release (uname), read once per process.
std::string_view running_kernel_release();

// Reads the section for config_id out of the configuration file at path,
// deciding kernel ranges against kernel_release; the file is read only as far
// as the section's end. nullopt with error set when the file cannot be read.
std::optional<Configuration> read_configuration(const std::string &path, std::string_view config_id,
                                                std::string_view kernel_release, GError **error);

}  // namespace qor
