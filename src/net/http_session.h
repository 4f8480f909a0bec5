// The only code that knows libsoup: a session that sends one GET and hands
// back the head of the response and its body as a stream, in libsoup-neutral
// terms. One source file serves libsoup 2.4 and 3 with a few #if, as the two
// differ only in making the session, a few accessors and their error domains.
#pragma once

#include <gio/gio.h>

#include <string>

#include "base/glib_ptr.h"
#include "net/http_fetch.h"

namespace qor {

struct HttpResponse {
  guint status = 0;
  // The server's reason phrase, empty when it gave none.
  std::string reason;
  // The Location header as sent, empty when there is none.
  std::string location;
  // The Content-Encoding header, empty when there is none. The body is never
  // decoded: the request asks for none.
  std::string coding;
  // The length the server announced, where the body's end is set by a
  // Content-Length header; -1 otherwise.
  gint64 announced_length = -1;
  // Whether the body comes in HTTP/1.1 chunks (Transfer-Encoding: chunked);
  // never over HTTP/2, which frames every body.
  bool chunked = false;
  Validators validators;
  // The body as it arrives; never null in a response get() returned.
  GObjectPtr<GInputStream> body;
};

class HttpSession {
 public:
  // A session checking certificates against tls_database, or the system's
  // authorities where it is null, through the proxies of proxy_resolver, or
  // where it is null of the desktop's configuration.
  explicit HttpSession(GTlsDatabase *tls_database, GProxyResolver *proxy_resolver = nullptr);

  // Sends one GET for url, conditional on validators where they are not
  // empty, and waits for the head of the response; its body is left to be
  // read from response.body, with the same cancellable. Redirections come
  // back as they are, never followed. Returns false when no response came,
  // with error set: code 8 in the "HTTP" domain for a URL libsoup cannot
  // take, otherwise as by set_transport_error().
  bool get(const char *url, const Validators &validators, GCancellable *cancellable,
           HttpResponse &response, GError **error) const;

 private:
  // The SoupSession, as a plain object so that this header names no libsoup.
  GObjectPtr<GObject> session_;
};

// Loads, for the rest of the process, the GIO modules that making a session
// and connecting with it would load: the TLS backend and the proxy resolvers
// (GIO's default, and with libsoup 2.4 the GNOME one its feature makes for
// each session). A module loaded on a thread while the process exits runs
// GObject's set-up again, which aborts: so a thread that may still run at
// exit has them loaded by its starter first. Costs a few milliseconds once.
void load_session_modules();

// Sets error for cause, a failure of get() or of reading a body: GIO's
// G_IO_ERROR_CANCELLED once cancellable was cancelled, however libsoup
// reported it; otherwise the code below 100 in the "HTTP" domain that stands
// for cause, with its fixed message. to_proxy: the connection that failed
// was being made to a proxy.
void set_transport_error(GError **error, const GError *cause, GCancellable *cancellable,
                         bool to_proxy = false);

}  // namespace qor
