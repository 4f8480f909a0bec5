// The session on libsoup 3. It has no GNOME feature set: its default proxy
// resolver is GIO's, which already follows the desktop's proxy settings.
#include <libsoup/soup.h>

#include "net/http_errors.h"
#include "net/http_transport.h"
#include "net/soup_shared.h"

namespace qor {

namespace {

constexpr gsize kChunkSize = gsize{64} * 1024;

// libsoup 3 reports what libsoup 2 gave as a status below 100 as an error;
// callers keep seeing the old numbers.
void fail(HttpResponse &response, const GError *error) {
  const bool unreadable = g_error_matches(error, SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_PARSING) ||
                          g_error_matches(error, SOUP_SESSION_ERROR, SOUP_SESSION_ERROR_ENCODING);
  response.status = unreadable ? kHttpMalformed : http_failure_for_error(error);
  response.reason = http_failure_phrase(response.status);
  response.body.clear();
}

// A body that ends early where a length was announced is left to the
// caller's length check, which says how much came; other failures are
// transport failures.
void read_body(GInputStream *stream, HttpResponse &response) {
  for (;;) {
    g_autoptr(GError) error = nullptr;
    BytesPtr chunk(g_input_stream_read_bytes(stream, kChunkSize, nullptr, &error));
    if (chunk == nullptr) {
      if (!g_error_matches(error, G_IO_ERROR, G_IO_ERROR_PARTIAL_INPUT) ||
          response.announced_length < 0) {
        fail(response, error);
      }
      return;
    }
    if (g_bytes_get_size(chunk.get()) == 0) {
      return;
    }
    response.body.push_back(std::move(chunk));
  }
}

}  // namespace

HttpSession::HttpSession() : session_(G_OBJECT(soup_session_new())) {}

HttpResponse HttpSession::get(const char *url) const {
  HttpResponse response;
  g_autoptr(SoupMessage) message = new_get_message(url, response);
  if (message == nullptr) {
    return response;
  }
  soup_message_add_flags(message, SOUP_MESSAGE_NO_REDIRECT);
  g_autoptr(GError) error = nullptr;
  g_autoptr(GInputStream) stream =
      soup_session_send(SOUP_SESSION(session_.get()), message, nullptr, &error);
  if (stream == nullptr) {
    fail(response, error);
    return response;
  }
  SoupMessageHeaders *headers = soup_message_get_response_headers(message);
  response.status = soup_message_get_status(message);
  response.reason = soup_message_get_reason_phrase(message) != nullptr
                        ? soup_message_get_reason_phrase(message)
                        : "";
  read_response_headers(headers, response);
  read_body(stream, response);
  return response;
}

}  // namespace qor
