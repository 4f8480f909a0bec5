// The session on libsoup 2.4 with libsoup-gnome's desktop features.
#include <libsoup/soup-gnome.h>
#include <libsoup/soup.h>

#include "net/http_errors.h"
#include "net/http_transport.h"
#include "net/soup_shared.h"

namespace qor {

namespace {

void take_body(SoupMessageBody *body, HttpResponse &response) {
  for (goffset offset = 0;;) {
    g_autoptr(SoupBuffer) chunk = soup_message_body_get_chunk(body, offset);
    if (chunk == nullptr || chunk->length == 0) {
      return;
    }
    offset += static_cast<goffset>(chunk->length);
    response.body.emplace_back(soup_buffer_get_as_bytes(chunk));
  }
}

}  // namespace

HttpSession::HttpSession() {
  // The GNOME feature set is the one way to the desktop's proxy settings
  // this library offers, deprecated or not.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  session_.reset(G_OBJECT(soup_session_new_with_options(SOUP_SESSION_ADD_FEATURE_BY_TYPE,
                                                        SOUP_TYPE_GNOME_FEATURES_2_26, nullptr)));
  G_GNUC_END_IGNORE_DEPRECATIONS
}

HttpResponse HttpSession::get(const char *url) const {
  HttpResponse response;
  g_autoptr(SoupMessage) message = new_get_message(url, response);
  if (message == nullptr) {
    return response;
  }
  soup_message_set_flags(message, SOUP_MESSAGE_NO_REDIRECT);
  response.status = soup_session_send_message(SOUP_SESSION(session_.get()), message);
  response.reason = message->reason_phrase != nullptr ? message->reason_phrase : "";
  read_response_headers(message->response_headers, response);
  take_body(message->response_body, response);
  return response;
}

}  // namespace qor
