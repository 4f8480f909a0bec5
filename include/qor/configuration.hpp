// The distribution configuration: the record its instruction lines fill, the
// loader that fetches it, and the version ordering its kernel ranges use.
#pragma once

#include <gio/gio.h>

#include <optional>
#include <string>
#include <vector>

#include <qor/compare_versions.hpp>

#include <qor/export.h>

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
// the host fixed when the library was built. A pointer, so that the size of
// what a program links does not change with the host.
QOR_EXPORT extern const char *const ConfigUrl;

// Returns the process-wide configuration, loading it on the first call:
// downloads ConfigUrl into ~/.qor-config, reads it and parses the section of
// the running distribution (get_distro_information). Prints the record to
// standard error on every call that returns one. Returns nullptr when the
// file could not be downloaded or read (a failed download is logged as a
// warning); the next call then tries again. The record is owned by the
// library, never changes once returned and is never freed.
//
// Blocks until done: in a program whose window is up, use
// get_configuration_async instead. Safe to call from any thread, also mixed
// with get_configuration_async: callers that come while a load runs wait for
// it and share its result, the record or the failure (one warning for all).
QOR_EXPORT const Configuration *get_configuration();

// Starts get_configuration's work and returns without waiting for it: the
// load runs on a thread of its own, or the call joins the load under way,
// holding no thread while it waits. The first call of a process loads the
// modules a load needs before it returns, so that the process may end while
// the load runs. callback runs in the thread-default main context of the
// calling thread, where it calls get_configuration_finish. The load has the
// same effects as get_configuration's, the dump included. Cancelling gives
// the caller G_IO_ERROR_CANCELLED at once; the load goes on for the other
// callers that wait for it, and once no one does it is stopped as soon as
// the HTTP library allows, leaving the local copy and the record as they
// were, so a later call tries again.
QOR_EXPORT void get_configuration_async(GCancellable *cancellable, GAsyncReadyCallback callback,
                                        gpointer user_data);

// The record get_configuration_async loaded (the same one get_configuration
// returns), or nullptr with error set: G_IO_ERROR_CANCELLED when it was
// cancelled, the download's error (domain "HTTP", see <qor/http_error.hpp>, or a
// GIO error about the local file) when the download failed, or the GIO error
// of reading the local copy.
QOR_EXPORT const Configuration *get_configuration_finish(GAsyncResult *result, GError **error);

}  // namespace qor
