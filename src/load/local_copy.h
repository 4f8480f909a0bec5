// The download a load begins with, and the load of its local copy, taking
// every input as an argument: the process-wide load passes the published
// source, the user's home and the running distribution and kernel, and
// qor-config-test starts the download ahead of the load. No interface of the
// library's.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <qor/configuration.hpp>
#include "base/glib_ptr.h"
#include "net/http_fetch.h"
#include "signature/signature.h"

namespace qor {

// Where the configuration file comes from and what vouches for it.
struct Source {
  std::string url;
  // Whether a file is taken only with a signature that verifies with one of
  // keys; without, it is taken as HTTPS brings it and no signature is
  // fetched.
  bool signed_only = false;
  std::vector<PublicKey> keys;
  // The authorities the server's certificate must chain to; null: the
  // system's.
  GObjectPtr<GTlsDatabase> tls_database;

  FetchOptions fetch_options() const { return {tls_database.get()}; }
};

// The source as this build publishes it: ConfigUrl, with the keys the build
// trusts and the system's authorities.
Source build_source();

// The source of the process-wide load: build_source() in the library and the
// tools (src/outside), and in what the tests build, what the test names.
const Source &published_source();

// Where the local copy goes (nullopt: there is no home to keep it in),
// whether the download stored it, and why not: a download to a path that
// did not store its copy always says why.
struct LocalCopy {
  std::optional<std::string> path;
  bool stored = false;
  // Where the source has keys: the copy as it was read back once its pair
  // verified, which is what the load parses.
  std::optional<std::string> verified;
  GErrorPtr failure;
};

// Downloads source into home's ".qor-config".
LocalCopy download_local_copy(const std::optional<std::string> &home, const Source &source,
                              GCancellable *cancellable);
// Downloads the published source into the user's home.
LocalCopy download_local_copy(GCancellable *cancellable);

// Reads the section for config_id from a downloaded copy, deciding kernel
// ranges against kernel_release. A failed download is logged: the warning
// that names source's URL, then one that names the reason where it lies with
// the signature or the local file system (a cancellation is not logged).
// nullopt with error set when there is no configuration.
std::optional<Configuration> load_local_copy(LocalCopy copy, const Source &source,
                                             std::string_view config_id,
                                             std::string_view kernel_release, GError **error);

// get_configuration, but a load takes its local copy from download.
const Configuration *get_configuration_with(const std::function<LocalCopy()> &download);

}  // namespace qor
