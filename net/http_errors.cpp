#include "net/http_errors.h"

#include <gio/gio.h>

#include <array>
#include <utility>

namespace qor {

GQuark http_error_quark() { return g_quark_from_static_string("HTTP"); }

const char *http_failure_phrase(guint code) {
  static constexpr std::array<std::pair<guint, const char *>, 9> kPhrases{{
      {kHttpCancelled, "Cancelled"},
      {kHttpCantResolve, "Cannot resolve hostname"},
      {kHttpCantResolveProxy, "Cannot resolve proxy hostname"},
      {kHttpCantConnect, "Cannot connect to destination"},
      {kHttpCantConnectProxy, "Cannot connect to proxy"},
      {kHttpTlsFailed, "SSL handshake failed"},
      {kHttpIoError, "Connection terminated unexpectedly"},
      {kHttpMalformed, "Message Corrupt"},
      {kHttpTooManyRedirects, "Too many redirects"},
  }};
  for (const auto &[known, phrase] : kPhrases) {
    if (known == code) {
      return phrase;
    }
  }
  return "Unknown Error";
}

namespace {

guint failure_for_io_error(int code) {
  switch (code) {
    case G_IO_ERROR_CANCELLED:
      return kHttpCancelled;
    case G_IO_ERROR_HOST_NOT_FOUND:
      return kHttpCantResolve;
    case G_IO_ERROR_CONNECTION_REFUSED:
    case G_IO_ERROR_HOST_UNREACHABLE:
    case G_IO_ERROR_NETWORK_UNREACHABLE:
      return kHttpCantConnect;
    case G_IO_ERROR_PROXY_FAILED:
    case G_IO_ERROR_PROXY_AUTH_FAILED:
    case G_IO_ERROR_PROXY_NEED_AUTH:
    case G_IO_ERROR_PROXY_NOT_ALLOWED:
      return kHttpCantConnectProxy;
    default:
      return kHttpIoError;
  }
}

}  // namespace

guint http_failure_for_error(const GError *error) {
  if (error == nullptr) {
    return kHttpIoError;
  }
  if (error->domain == G_RESOLVER_ERROR) {
    return kHttpCantResolve;
  }
  if (error->domain == G_TLS_ERROR) {
    return kHttpTlsFailed;
  }
  if (error->domain == G_IO_ERROR) {
    return failure_for_io_error(error->code);
  }
  return kHttpIoError;
}

void set_http_error(GError **error, guint code, const char *message) {
  g_set_error(error, http_error_quark(), static_cast<int>(code), "%s", message);
}

}  // namespace qor
