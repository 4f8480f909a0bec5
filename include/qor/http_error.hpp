// The "HTTP" error domain of the download. Its codes are the HTTP status of
// an unsuccessful response or, for failures before or beneath an HTTP
// status, the codes below 100 listed here; these are the same whichever
// libsoup the library is built on.
#pragma once

#include <glib.h>

#include <qor/export.h>

namespace qor {

// The domain: g_quark_from_static_string("HTTP").
QOR_EXPORT GQuark http_error_quark();

// The codes below 100, with the message each comes with.
enum HttpFailure : int {
  kHttpCantResolve = 2,       // "Cannot resolve hostname"
  kHttpCantResolveProxy = 3,  // "Cannot resolve proxy hostname"
  kHttpCantConnect = 4,       // "Cannot connect to destination"
  kHttpCantConnectProxy = 5,  // "Cannot connect to proxy"
  kHttpTlsFailed = 6,         // "SSL handshake failed"
  // "Connection terminated unexpectedly", for a body cut short followed by
  // ": received N bytes of the M announced".
  kHttpIoError = 7,
  // "Message Corrupt", for a URL the download cannot take "Not a valid http
  // or https URL: " and the URL.
  kHttpMalformed = 8,
  kHttpTooManyRedirects = 10,  // "Too many redirects", after 20 of them
};

}  // namespace qor
