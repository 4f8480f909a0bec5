// A blocking HTTP GET into a local file.
#pragma once

#include <gio/gio.h>

#include <qor/http_error.hpp>

#include <qor/export.h>

namespace qor {

// Fetches url and replaces the file at path with the response body, which is
// written to the file as it arrives. Returns true when the response was
// successful and the whole body was stored. On false the file at path is
// left as it was (or absent, if it was absent), and error, when given, is
// set: in the "HTTP" domain of <qor/http_error.hpp> for unsuccessful responses
// (the status as code) and failures to reach the server or to read its
// answer (codes below 100); G_IO_ERROR_CANCELLED when cancellable, which may
// be null, was cancelled; otherwise the GIO error of writing the file.
// A set error belongs to the caller, who frees it (g_autoptr(GError)).
QOR_EXPORT bool http_download_file(const char *url, const char *path, GCancellable *cancellable,
                                   GError **error);

// The same without a way to cancel.
QOR_EXPORT bool http_download_file(const char *url, const char *path, GError **error);

}  // namespace qor
