// A blocking HTTP GET into a local file.
#pragma once

#include <glib.h>

namespace qor {

// Fetches url and replaces the file at path with the response body. Returns
// true when the response was successful and the whole body was stored. On
// false the file at path is left as it was (or absent, if it was absent), and
// error, when given, is set: domain "HTTP" with the status as code for
// unsuccessful responses and transport failures (codes below 100), or the
// GIO error of opening or writing the file.
// A set error belongs to the caller, who frees it (g_autoptr(GError)).
bool http_download_file(const char *url, const char *path, GError **error);

}  // namespace qor
