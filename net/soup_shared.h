// What both sessions do alike: the parts of libsoup's API that are the same
// in 2.4 and 3.
#pragma once

#include <libsoup/soup.h>

#include "net/http_errors.h"
#include "net/http_transport.h"

namespace qor {

// A new GET message for url, or nullptr with response marked malformed where
// libsoup cannot parse the URL.
inline SoupMessage *new_get_message(const char *url, HttpResponse &response) {
  SoupMessage *message = soup_message_new(SOUP_METHOD_GET, url);
  if (message == nullptr) {
    response.status = kHttpMalformed;
    response.reason = http_failure_phrase(kHttpMalformed);
  }
  return message;
}

inline void read_response_headers(SoupMessageHeaders *headers, HttpResponse &response) {
  if (const char *location = soup_message_headers_get_one(headers, "Location")) {
    response.location = location;
  }
  // Only a body whose end is set by Content-Length and whose bytes arrive as
  // sent can be checked against the announced length.
  if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
      soup_message_headers_get_one(headers, "Content-Encoding") == nullptr) {
    response.announced_length = soup_message_headers_get_content_length(headers);
  }
}

}  // namespace qor
