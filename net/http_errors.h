// The error reports of the download: domain "HTTP", with the HTTP status as
// the code, or for failures below HTTP a code under 100 numbered as the
// first libsoup numbers them, so that callers see the same codes whichever
// libsoup the download is built on.
#pragma once

#include <glib.h>

namespace qor {

// The "HTTP" error domain.
GQuark http_error_quark();

// Failures that happen before or beneath an HTTP status: the codes below 100.
enum HttpFailure : guint {
  kHttpCancelled = 1,
  kHttpCantResolve = 2,
  kHttpCantResolveProxy = 3,
  kHttpCantConnect = 4,
  kHttpCantConnectProxy = 5,
  kHttpTlsFailed = 6,
  kHttpIoError = 7,
  kHttpMalformed = 8,
  kHttpTooManyRedirects = 10,
};

// The fixed reason phrase of a failure code below 100 (static, never null).
const char *http_failure_phrase(guint code);

// The failure code below 100 that stands for a GIO, resolver or TLS error
// raised while talking to the server.
guint http_failure_for_error(const GError *error);

// Fills error (when given) in the "HTTP" domain; message is used as it
// stands, never as a format.
void set_http_error(GError **error, guint code, const char *message);

}  // namespace qor
