// The GET beneath http_download_file, for callers that want the body
// elsewhere than in a file of its own.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string>
#include <string_view>

namespace qor {

// Takes the next piece of a body; false, with error set, to stop the
// download.
using BodySink = std::function<bool(std::string_view piece, GError **error)>;

// What a server gives to tell later whether a file has changed since: the
// ETag and Last-Modified headers as sent, each empty when it gave none.
struct Validators {
  std::string etag;
  std::string last_modified;
  // Where they are asked with: the length of the copy they stand for, which
  // a 304 may announce as its Content-Length without sending a body.
  gint64 length = -1;

  bool empty() const { return etag.empty() && last_modified.empty(); }
};

// What a caller inside the library may set beyond the defaults of
// http_download_file.
struct FetchOptions {
  // The authorities whose certificates the server's must chain to, in place
  // of the system's; null: the system's.
  GTlsDatabase *tls_database = nullptr;
  // Those of the caller's copy, to ask whether it changed: If-None-Match
  // with the ETag, or where there is none If-Modified-Since. Empty: an
  // unconditional GET.
  Validators validators = {};
  // The proxies to go through, in place of GIO's default resolver, which
  // follows the desktop's settings; null: that one.
  GProxyResolver *proxy_resolver = nullptr;
};

// What the final response of a successful fetch said beyond its body.
struct FetchReport {
  // A 304 without a body to a conditional GET: the caller's copy is the
  // file, and the sink was given nothing.
  bool not_modified = false;
  Validators validators = {};
};

class HttpSession;

// Fetches url as http_download_file does, handing the body to sink as it
// arrives. True when the final response was successful and all of its body
// was taken, or was a 304 to a conditional GET with no body; report, where
// given, then says which. On false error is set as by http_download_file:
// any other 304 fails as other statuses do.
bool http_fetch(const char *url, const BodySink &sink, const FetchOptions &options,
                GCancellable *cancellable, GError **error, FetchReport *report = nullptr);

// http_fetch through session, conditional on validators where they are not
// empty. Fetches through one session share its connections: where the
// server keeps one open, the next fetch makes no new connection and no new
// handshake.
bool http_fetch(const HttpSession &session, const char *url, const BodySink &sink,
                const Validators &validators, GCancellable *cancellable, GError **error,
                FetchReport *report = nullptr);

// http_download_file with options.
bool download_file(const char *url, const char *path, const FetchOptions &options,
                   GCancellable *cancellable, GError **error);

}  // namespace qor
