// The GET beneath http_download_file, for callers that want the body
// elsewhere than in a file of its own.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string_view>

namespace qor {

// Takes the next piece of a body; false, with error set, to stop the
// download.
using BodySink = std::function<bool(std::string_view piece, GError **error)>;

// What a caller inside the library may set beyond the defaults of
// http_download_file.
struct FetchOptions {
  // The authorities whose certificates the server's must chain to, in place
  // of the system's; null: the system's.
  GTlsDatabase *tls_database = nullptr;
};

// Fetches url as http_download_file does, handing the body to sink as it
// arrives. True when the final response was successful and all of its body
// was taken; on false error is set as by http_download_file.
bool http_fetch(const char *url, const BodySink &sink, const FetchOptions &options,
                GCancellable *cancellable, GError **error);

// http_download_file with options.
bool download_file(const char *url, const char *path, const FetchOptions &options,
                   GCancellable *cancellable, GError **error);

}  // namespace qor
