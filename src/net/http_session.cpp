#include "net/http_session.h"

#include <libsoup/soup.h>
#if !SOUP_CHECK_VERSION(3, 0, 0)
#include <libsoup/soup-gnome.h>
#endif

#include <array>
#include <utility>

#include <qor/http_error.hpp>
#include "net/forwarding_database.h"

namespace qor {

namespace {

#if SOUP_CHECK_VERSION(3, 0, 0)

// libsoup 3 has no GNOME feature set: its default proxy resolver is GIO's,
// which already follows the desktop's proxy settings.
SoupSession *plain_session() { return soup_session_new(); }

void forbid_redirects(SoupMessage *message) {
  soup_message_add_flags(message, SOUP_MESSAGE_NO_REDIRECT);
}

guint status_of(SoupMessage *message) { return soup_message_get_status(message); }
const char *reason_of(SoupMessage *message) { return soup_message_get_reason_phrase(message); }
SoupMessageHeaders *headers_of(SoupMessage *message) {
  return soup_message_get_response_headers(message);
}
SoupMessageHeaders *request_headers_of(SoupMessage *message) {
  return soup_message_get_request_headers(message);
}

// The failures that libsoup itself finds, rather than GIO beneath it: a
// response it cannot read is what libsoup 2 calls a corrupt message.
int soup_failure(const GError *cause) {
  const bool unreadable = g_error_matches(cause, SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_PARSING) ||
                          g_error_matches(cause, SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_ENCODING);
  return unreadable ? kHttpMalformed : 0;
}

// Every session uses GIO's default resolver, which GIO keeps for good.
void keep_proxy_resolver_modules() { (void)g_proxy_resolver_get_default(); }

#else

// The GNOME feature makes GIO's GNOME resolver anew for each session, and its
// module goes with the last one: a feature kept for good keeps it loaded.
void keep_proxy_resolver_modules() {
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  [[maybe_unused]] static GObject *const kept =
      G_OBJECT(g_object_new(SOUP_TYPE_PROXY_RESOLVER_GNOME, nullptr));
  G_GNUC_END_IGNORE_DEPRECATIONS
}

SoupSession *plain_session() {
  // The GNOME feature set is the one way to the desktop's proxy settings
  // that libsoup 2.4 offers, deprecated or not.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  return soup_session_new_with_options(SOUP_SESSION_ADD_FEATURE_BY_TYPE,
                                       SOUP_TYPE_GNOME_FEATURES_2_26, nullptr);
  G_GNUC_END_IGNORE_DEPRECATIONS
}

void forbid_redirects(SoupMessage *message) {
  soup_message_set_flags(message, SOUP_MESSAGE_NO_REDIRECT);
}

guint status_of(SoupMessage *message) { return message->status_code; }
const char *reason_of(SoupMessage *message) { return message->reason_phrase; }
SoupMessageHeaders *headers_of(SoupMessage *message) { return message->response_headers; }
SoupMessageHeaders *request_headers_of(SoupMessage *message) { return message->request_headers; }

// libsoup 2 reports a response it cannot read as a failed request. Its own
// transport statuses come only from a proxy's answer to CONNECT, where a
// closed connection reads as "Message Corrupt" too: they fall to code 7, as
// libsoup 3 reports such a close.
int soup_failure(const GError *cause) {
  const bool unreadable = g_error_matches(cause, SOUP_REQUEST_ERROR, SOUP_REQUEST_ERROR_PARSING) ||
                          g_error_matches(cause, SOUP_REQUEST_ERROR, SOUP_REQUEST_ERROR_ENCODING);
  return unreadable ? kHttpMalformed : 0;
}

#endif

// The body comes as the server sent it, so that its length can be checked
// against Content-Length whatever coding the server names. Certificates are
// verified through a forwarding database, so that no connection builds a
// trust list of its own: libsoup 2.4 gives a connection the session's
// database as it makes it. libsoup 3 sets it only once the connection is
// made, which has then built its credentials from the backend's default
// database already, unless a program made that one forward as well
// (forward_default_database).
SoupSession *new_session(GTlsDatabase *tls_database, GProxyResolver *proxy_resolver) {
  SoupSession *session = plain_session();
  soup_session_remove_feature_by_type(session, SOUP_TYPE_CONTENT_DECODER);
  if (const GObjectPtr<GTlsDatabase> checking = forwarding_database(tls_database)) {
    g_object_set(session, "tls-database", checking.get(), nullptr);
  }
  if (proxy_resolver != nullptr) {
    g_object_set(session, "proxy-resolver", proxy_resolver, nullptr);
  }
  return session;
}

// GIO reports a proxy it cannot connect to as it does the server, so whether
// the connection being made goes to a proxy is noted in to_proxy (a bool).
// libsoup lets a TLS connection end without close_notify, so an end forged
// or cut by the network would pass for the end of a body that only the
// connection's close delimits. Insisting makes such an end an error.
void on_network_event(SoupMessage * /*message*/, GSocketClientEvent event, GIOStream *connection,
                      gpointer to_proxy) {
  if (event == G_SOCKET_CLIENT_CONNECTING) {
    g_autoptr(GSocketAddress) address =
        g_socket_connection_get_remote_address(G_SOCKET_CONNECTION(connection), nullptr);
    *static_cast<bool *>(to_proxy) = G_IS_PROXY_ADDRESS(address);
  } else if (event == G_SOCKET_CLIENT_TLS_HANDSHAKING) {
    g_tls_connection_set_require_close_notify(G_TLS_CONNECTION(connection), TRUE);
  }
}

int failure_for_io_error(int code) {
  switch (code) {
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

int failure_for(const GError *cause, bool to_proxy) {
  if (const int code = soup_failure(cause)) {
    return code;
  }
  if (cause->domain == G_RESOLVER_ERROR) {
    return kHttpCantResolve;
  }
  if (cause->domain == G_TLS_ERROR) {
    return cause->code == G_TLS_ERROR_EOF ? kHttpIoError : kHttpTlsFailed;
  }
  if (cause->domain != G_IO_ERROR) {
    return kHttpIoError;
  }
  const int code = failure_for_io_error(cause->code);
  return code == kHttpCantConnect && to_proxy ? kHttpCantConnectProxy : code;
}

// The fixed message of a code from 2 to 8.
const char *failure_phrase(int code) {
  static constexpr std::array<const char *, kHttpMalformed + 1> kPhrases{
      nullptr,
      nullptr,
      "Cannot resolve hostname",
      "Cannot resolve proxy hostname",
      "Cannot connect to destination",
      "Cannot connect to proxy",
      "SSL handshake failed",
      "Connection terminated unexpectedly",
      "Message Corrupt",
  };
  return kPhrases.at(static_cast<size_t>(code));
}

std::string header(SoupMessageHeaders *headers, const char *name) {
  const char *value = soup_message_headers_get_one(headers, name);
  return value != nullptr ? value : "";
}

// Either validator will do; a server that has an ETag compares that first.
void ask_if_changed(SoupMessage *message, const Validators &validators) {
  SoupMessageHeaders *headers = request_headers_of(message);
  if (!validators.etag.empty()) {
    soup_message_headers_replace(headers, "If-None-Match", validators.etag.c_str());
  } else if (!validators.last_modified.empty()) {
    soup_message_headers_replace(headers, "If-Modified-Since", validators.last_modified.c_str());
  }
}

void read_head(SoupMessage *message, HttpResponse &response) {
  response.status = status_of(message);
  response.reason = reason_of(message) != nullptr ? reason_of(message) : "";
  SoupMessageHeaders *headers = headers_of(message);
  response.location = header(headers, "Location");
  if (const char *coding = soup_message_headers_get_list(headers, "Content-Encoding")) {
    response.coding = coding;
  }
  const SoupEncoding encoding = soup_message_headers_get_encoding(headers);
  if (encoding == SOUP_ENCODING_CONTENT_LENGTH) {
    response.announced_length = soup_message_headers_get_content_length(headers);
  }
  response.chunked = encoding == SOUP_ENCODING_CHUNKED;
  response.validators = {header(headers, "ETag"), header(headers, "Last-Modified")};
}

}  // namespace

HttpSession::HttpSession(GTlsDatabase *tls_database, GProxyResolver *proxy_resolver)
    : session_(G_OBJECT(new_session(tls_database, proxy_resolver))) {}

bool HttpSession::get(const char *url, const Validators &validators, GCancellable *cancellable,
                      HttpResponse &response, GError **error) const {
  response = HttpResponse{};
  g_autoptr(SoupMessage) message = soup_message_new(SOUP_METHOD_GET, url);
  if (message == nullptr) {
    g_set_error_literal(error, http_error_quark(), kHttpMalformed, failure_phrase(kHttpMalformed));
    return false;
  }
  forbid_redirects(message);
  soup_message_headers_replace(request_headers_of(message), "Accept-Encoding", "identity");
  ask_if_changed(message, validators);
  bool to_proxy = false;
  g_signal_connect(message, "network-event", G_CALLBACK(on_network_event), &to_proxy);
  g_autoptr(GError) cause = nullptr;
  GObjectPtr<GInputStream> body(
      soup_session_send(SOUP_SESSION(session_.get()), message, cancellable, &cause));
  g_signal_handlers_disconnect_by_data(message, &to_proxy);
  if (body == nullptr) {
    set_transport_error(error, cause, cancellable, to_proxy);
    return false;
  }
  read_head(message, response);
  response.body = std::move(body);
  return true;
}

void load_session_modules() {
  static const bool loaded = [] {
    (void)g_tls_backend_get_default();  // kept for good by GIO
    keep_proxy_resolver_modules();
    return true;
  }();
  (void)loaded;
}

void set_transport_error(GError **error, const GError *cause, GCancellable *cancellable,
                         bool to_proxy) {
  if (g_cancellable_set_error_if_cancelled(cancellable, error)) {
    return;
  }
  const int code = cause != nullptr ? failure_for(cause, to_proxy) : kHttpIoError;
  g_set_error_literal(error, http_error_quark(), code, failure_phrase(code));
}

}  // namespace qor
