// What the session reads from response headers. The header API is the same
// in libsoup 2.4 and 3, so both variants share this.
#pragma once

#include <libsoup/soup.h>

#include "net/http_transport.h"

namespace qor {

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
