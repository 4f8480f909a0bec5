// A small HTTP/1.1 server for the download tests, on plain GIO so that it
// works the same whichever libsoup the library under test is built on, and
// so that it can send broken responses on purpose.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/glib_ptr.h"

namespace qor::test {

// Listens on 127.0.0.1 and serves on its own thread, one connection at a
// time: it reads one request, answers with the bytes set for its path (404
// for others) exactly as given, after the delay set with them, and closes.
// Destroyed while it delays an answer, it stops at once.
class HttpTestServer {
 public:
  // With a folder made by make-certs.sh, speaks HTTPS with its server.pem.
  // Port 0 takes any free one; a fixed URL's port needs the port itself.
  explicit HttpTestServer(const std::string &cert_dir = {}, guint16 port = 0);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer &) = delete;
  HttpTestServer &operator=(const HttpTestServer &) = delete;

  std::string url(std::string_view path) const;
  void answer(const std::string &path, std::string response, std::chrono::milliseconds delay = {});
  int requests(const std::string &path) const;

  // Whole responses, each closing its connection.
  static std::string ok(std::string_view body);
  static std::string status(int code, std::string_view reason);
  static std::string redirect(int code, std::string_view location);

 private:
  void run();
  void serve_tls(GIOStream *connection);
  void serve(GIOStream *stream);
  struct Answer {
    std::string response;
    std::chrono::milliseconds delay{};
  };
  Answer answer_for(const std::string &path);

  GObjectPtr<GSocketListener> listener_;
  GObjectPtr<GCancellable> stop_;
  GObjectPtr<GTlsCertificate> certificate_;
  guint16 port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::map<std::string, int> requests_;
  std::thread thread_;
};

}  // namespace qor::test
