// The one place that knows which libsoup the download is built on: a session
// that sends a single GET and hands back what came, in libsoup-neutral terms.
#pragma once

#include <glib.h>

#include <memory>
#include <string>
#include <vector>

#include "common/glib_ptr.h"

namespace qor {

using BytesPtr = std::unique_ptr<GBytes, FreeWith<g_bytes_unref>>;

struct HttpResponse {
  // The HTTP status, or a failure below 100 numbered as in http_errors.h.
  guint status = 0;
  // The server's reason phrase, or the failure's fixed phrase.
  std::string reason;
  // The Location header as sent, empty when there is none.
  std::string location;
  // The length the server announced, where the body's end is set by a
  // Content-Length header and its bytes arrive as sent (no content coding);
  // -1 otherwise.
  gint64 announced_length = -1;
  // The body, chunk by chunk, in order.
  std::vector<BytesPtr> body;
};

class HttpSession {
 public:
  // A session with the desktop's proxy configuration and the library's
  // default certificate checks; valid() tells whether it could be made.
  HttpSession();
  bool valid() const { return session_ != nullptr; }

  // Sends one GET for url and waits for the whole response. Redirections
  // come back as they are, never followed.
  HttpResponse get(const char *url) const;

 private:
  // The SoupSession, as a plain object so that this header names no libsoup.
  GObjectPtr<GObject> session_;
};

}  // namespace qor
