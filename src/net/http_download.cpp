#include <qor/http_download.hpp>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <qor/http_error.hpp>
#include "net/file_replacement.h"
#include "net/http_fetch.h"
#include "net/http_session.h"

namespace qor {

namespace {

// As many redirections as libsoup itself follows before giving up.
constexpr int kMaxRedirects = 20;

// The body goes to the file in pieces of this size, never whole in memory.
constexpr gsize kChunkSize = gsize{64} * 1024;

constexpr auto kUrlFlags = static_cast<GUriFlags>(
    G_URI_FLAGS_HAS_PASSWORD | G_URI_FLAGS_ENCODED_PATH | G_URI_FLAGS_ENCODED_QUERY |
    G_URI_FLAGS_ENCODED_FRAGMENT | G_URI_FLAGS_SCHEME_NORMALIZE);

bool is_https(const std::string &url) { return g_str_has_prefix(url.c_str(), "https:"); }

// The URL in normal form when it is an http or https URL with a host.
std::optional<std::string> http_url(const char *text) {
  g_autoptr(GUri) uri = g_uri_parse(text, kUrlFlags, nullptr);
  if (uri == nullptr || g_uri_get_host(uri) == nullptr || *g_uri_get_host(uri) == '\0') {
    return std::nullopt;
  }
  const char *scheme = g_uri_get_scheme(uri);
  if (g_strcmp0(scheme, "http") != 0 && g_strcmp0(scheme, "https") != 0) {
    return std::nullopt;
  }
  g_autofree char *normal = g_uri_to_string(uri);
  return std::string(normal);
}

bool is_redirect(guint status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where a redirection leads, or nullopt when the response is not one that
// can be followed (it then stands as the final response).
std::optional<std::string> redirect_target(const std::string &url, const HttpResponse &response) {
  if (!is_redirect(response.status) || response.location.empty()) {
    return std::nullopt;
  }
  g_autofree char *target =
      g_uri_resolve_relative(url.c_str(), response.location.c_str(), kUrlFlags, nullptr);
  return target != nullptr ? http_url(target) : std::nullopt;
}

bool fail_with_status(const HttpResponse &response, GError **error) {
  g_set_error(error, http_error_quark(), static_cast<int>(response.status), "%s",
              response.reason.c_str());
  return false;
}

bool refuse_downgrade(const std::string &from, const std::string &to, guint status,
                      GError **error) {
  g_set_error(error, http_error_quark(), static_cast<int>(status),
              "Refused the redirection from %s to %s: it leaves HTTPS for plain HTTP", from.c_str(),
              to.c_str());
  return false;
}

// The request asks for the body as it is; a server that codes it anyway has
// sent something else than the file.
bool refuse_coding(const HttpResponse &response, GError **error) {
  if (response.coding.empty() || g_ascii_strcasecmp(response.coding.c_str(), "identity") == 0) {
    return true;
  }
  g_set_error(error, http_error_quark(), kHttpMalformed,
              "Message Corrupt: the body came in the content coding '%s', which was not asked for",
              response.coding.c_str());
  return false;
}

// A 304 stands for the caller's copy only where the caller asked whether it
// changed. One that announces a body has sent something else than "not
// modified", and libsoup would not even read that body; but a server may
// give the length of the unchanged file as a 304's Content-Length.
bool is_not_modified(const HttpResponse &response, const Validators &asked) {
  return response.status == 304 && !asked.empty() && !response.chunked &&
         (response.announced_length <= 0 || response.announced_length == asked.length);
}

bool take_final(const HttpResponse &response, const Validators &asked, GError **error) {
  if (response.status / 100 != 2 && !is_not_modified(response, asked)) {
    return fail_with_status(response, error);
  }
  return refuse_coding(response, error);
}

// GETs url, conditional on validators, following redirections as the
// library would, except one that would carry the download from HTTPS to
// plain HTTP; leaves the successful final response, its body unread, in
// response.
bool fetch(const HttpSession &session, std::string url, const Validators &validators,
           GCancellable *cancellable, HttpResponse &response, GError **error) {
  for (int redirects = 0;; ++redirects) {
    if (!session.get(url.c_str(), validators, cancellable, response, error)) {
      return false;
    }
    std::optional<std::string> target = redirect_target(url, response);
    if (!target) {
      return take_final(response, validators, error);
    }
    if (redirects == kMaxRedirects) {
      g_set_error_literal(error, http_error_quark(), kHttpTooManyRedirects, "Too many redirects");
      return false;
    }
    if (is_https(url) && !is_https(*target)) {
      return refuse_downgrade(url, *target, response.status, error);
    }
    url = std::move(*target);
  }
}

// A body cut short is not the document; where the connection was closed
// the library may take what came as complete, so the length is checked here.
bool check_length(const HttpResponse &response, gint64 received, GError **error) {
  if (response.announced_length == -1 || response.status == 204 ||
      received == response.announced_length) {
    return true;
  }
  g_set_error(error, http_error_quark(), kHttpIoError,
              "Connection terminated unexpectedly: received %" G_GINT64_FORMAT
              " bytes of the %" G_GINT64_FORMAT " announced",
              received, response.announced_length);
  return false;
}

// libsoup's chunk decoder takes a connection that closes where the next
// chunk's size should come for the end of the body. A body that has truly
// ended reads as ended again without going back to the connection, so the
// connection is held busy (any read of it fails) while the body is read once
// more: only a body that is not over yet needs it. Only HTTP/1.1 chunks: an
// HTTP/2 body ends only with its stream's END_STREAM flag, and its stream is
// no filter over the connection, so the second read would always fail.
bool truly_ended(GInputStream *body) {
  GInputStream *connection = body;
  while (G_IS_FILTER_INPUT_STREAM(connection)) {
    connection = g_filter_input_stream_get_base_stream(G_FILTER_INPUT_STREAM(connection));
  }
  const bool held = connection != body && g_input_stream_set_pending(connection, nullptr);
  char byte = 0;
  const gssize again = g_input_stream_read(body, &byte, 1, nullptr, nullptr);
  if (held) {
    g_input_stream_clear_pending(connection);
  }
  return again == 0;
}

// Hands the body to sink as it arrives; true once all of it came.
bool read_body(const HttpResponse &response, const BodySink &sink, GCancellable *cancellable,
               GError **error) {
  std::vector<char> chunk(kChunkSize);
  gint64 received = 0;
  for (;;) {
    g_autoptr(GError) cause = nullptr;
    const gssize got =
        g_input_stream_read(response.body.get(), chunk.data(), chunk.size(), cancellable, &cause);
    // An early end where a length was announced is for check_length to tell.
    const bool cut_short = g_error_matches(cause, G_IO_ERROR, G_IO_ERROR_PARTIAL_INPUT) &&
                           response.announced_length != -1;
    if (got == 0 && response.chunked && !truly_ended(response.body.get())) {
      g_set_error_literal(error, http_error_quark(), kHttpIoError,
                          "Connection terminated unexpectedly: the body's last chunk never came");
      return false;
    }
    if (got == 0 || cut_short) {
      return check_length(response, received, error);
    }
    if (got == -1) {
      set_transport_error(error, cause, cancellable);
      return false;
    }
    if (!sink(std::string_view(chunk.data(), static_cast<std::size_t>(got)), error)) {
      return false;
    }
    received += got;
  }
}

}  // namespace

bool http_fetch(const char *url, const BodySink &sink, const FetchOptions &options,
                GCancellable *cancellable, GError **error, FetchReport *report) {
  return http_fetch(HttpSession(options.tls_database, options.proxy_resolver), url, sink,
                    options.validators, cancellable, error, report);
}

bool http_fetch(const HttpSession &session, const char *url, const BodySink &sink,
                const Validators &validators, GCancellable *cancellable, GError **error,
                FetchReport *report) {
  std::optional<std::string> start = url != nullptr ? http_url(url) : std::nullopt;
  if (!start) {
    g_set_error(error, http_error_quark(), kHttpMalformed, "Not a valid http or https URL: %s",
                url != nullptr ? url : "(none)");
    return false;
  }
  HttpResponse response;
  if (!fetch(session, *start, validators, cancellable, response, error)) {
    return false;
  }
  const bool not_modified = is_not_modified(response, validators);
  if (!not_modified && !read_body(response, sink, cancellable, error)) {
    return false;
  }
  if (report != nullptr) {
    *report = {not_modified, std::move(response.validators)};
  }
  return true;
}

bool download_file(const char *url, const char *path, const FetchOptions &options,
                   GCancellable *cancellable, GError **error) {
  if (path == nullptr || *path == '\0') {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_INVALID_FILENAME, "No local path to store %s in",
                url != nullptr ? url : "(none)");
    return false;
  }
  FileReplacement file(path);
  return file.open(error) &&
         http_fetch(
             url,
             [&file](std::string_view piece, GError **failure) {
               return file.write(piece.data(), piece.size(), failure);
             },
             options, cancellable, error) &&
         file.commit(error);
}

bool http_download_file(const char *url, const char *path, GCancellable *cancellable,
                        GError **error) {
  return download_file(url, path, FetchOptions{}, cancellable, error);
}

bool http_download_file(const char *url, const char *path, GError **error) {
  return download_file(url, path, FetchOptions{}, nullptr, error);
}

}  // namespace qor
