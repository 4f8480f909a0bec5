// An HTTP/1.1 server on 127.0.0.1 for the tests, on plain GIO so that it
// works alike whichever libsoup the library is built on, and so that it can
// misbehave on purpose: each path is answered with the exact bytes set for
// it (404 for others), after the delay set with them, and the connection is
// then closed. Every connection is served on a thread of its own.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/glib_ptr.h"

namespace qor::test {

class HttpTestServer {
 public:
  // With cert, the path of a certificate and its key less ".pem" and ".key"
  // (as ns-run makes them), it speaks HTTPS. Port 0 takes any free port.
  explicit HttpTestServer(const std::string &cert = {}, guint16 port = 0);
  // Stops at once, also while an answer is delayed.
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer &) = delete;
  HttpTestServer &operator=(const HttpTestServer &) = delete;

  std::string url(std::string_view path) const;
  void answer(const std::string &path, std::string response, std::chrono::milliseconds delay = {});
  int requests(const std::string &path) const;

  // Whole responses.
  static std::string ok(std::string_view body);
  static std::string status(int code, std::string_view reason);
  static std::string redirect(int code, std::string_view location);

 private:
  struct Answer {
    std::shared_ptr<const std::string> response;
    std::chrono::milliseconds delay{};
  };
  void run();
  void serve(GIOStream *connection);
  Answer answer_for(const std::string &path);

  GObjectPtr<GSocketListener> listener_;
  GObjectPtr<GCancellable> stop_;
  GObjectPtr<GTlsCertificate> certificate_;
  guint16 port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::map<std::string, int> requests_;
  std::thread thread_;
  std::vector<std::thread> connections_;  // joined by thread_ before it ends
};

}  // namespace qor::test
