// An HTTP/1.1 server on 127.0.0.1 for the tests, on plain GIO so that it
// works alike whichever libsoup the library is built on, and so that it can
// misbehave on purpose: each path is answered with the exact bytes set for
// it (404 for others), after the delay set with them, and the connection is
// then closed. Each connection is served on a thread of its own; the server
// stops at once when destroyed, delays or not.
#pragma once

#include <gio/gio.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/glib_ptr.h"

namespace qor::test {

class HttpTestServer {
 public:
  // With cert, the path of a certificate and its key less ".pem" and ".key"
  // (as ns-run makes them), it speaks HTTPS. Port 0 takes any free port.
  explicit HttpTestServer(const std::string &cert = {}, guint16 port = 0) {
    if (!cert.empty()) {
      certificate_.reset(g_tls_certificate_new_from_files((cert + ".pem").c_str(),
                                                          (cert + ".key").c_str(), nullptr));
    }
    g_autoptr(GInetAddress) loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    g_autoptr(GSocketAddress) wanted = g_inet_socket_address_new(loopback, port);
    g_autoptr(GSocketAddress) bound = nullptr;
    g_socket_listener_add_address(listener_.get(), wanted, G_SOCKET_TYPE_STREAM,
                                  G_SOCKET_PROTOCOL_TCP, nullptr, &bound, nullptr);
    port_ = bound != nullptr ? g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound)) : 0;
    thread_ = std::thread([this] { run(); });
  }
  ~HttpTestServer() {
    g_cancellable_cancel(stop_.get());
    thread_.join();
  }
  HttpTestServer(const HttpTestServer &) = delete;
  HttpTestServer &operator=(const HttpTestServer &) = delete;

  std::string url(const std::string &path) const {
    return (certificate_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) +
           path;
  }
  void answer(const std::string &path, std::string response, std::chrono::milliseconds delay = {}) {
    const std::lock_guard lock(mutex_);
    answers_[path] = {std::make_shared<const std::string>(std::move(response)), delay};
  }
  int requests(const std::string &path) const {
    const std::lock_guard lock(mutex_);
    return requests_.contains(path) ? requests_.at(path) : 0;
  }

  static std::string status(int code, const std::string &reason, const std::string &extra = {}) {
    return "HTTP/1.1 " + std::to_string(code) + " " + reason + "\r\n" + extra +
           "Content-Length: 0\r\nConnection: close\r\n\r\n";
  }
  static std::string redirect(int code, const std::string &location) {
    return status(code, "Moved", "Location: " + location + "\r\n");
  }
  static std::string ok(const std::string &body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
  }

 private:
  struct Answer {
    std::shared_ptr<const std::string> response = std::make_shared<std::string>(
        status(404, "Not Found"));
    std::chrono::milliseconds delay{};
  };

  void run() {
    std::vector<std::jthread> connections;
    while (GSocketConnection *accepted =
               g_socket_listener_accept(listener_.get(), nullptr, stop_.get(), nullptr)) {
      connections.emplace_back([this, accepted] {
        g_autoptr(GIOStream) connection = G_IO_STREAM(accepted);
        g_autoptr(GIOStream) tls =
            certificate_ ? g_tls_server_connection_new(connection, certificate_.get(), nullptr)
                         : nullptr;
        if (!certificate_ || g_tls_connection_handshake(G_TLS_CONNECTION(tls), stop_.get(), nullptr)) {
          serve(tls != nullptr ? tls : connection);
        }
      });
    }
  }

  // Reads the request's head, then answers for the path of its first line.
  void serve(GIOStream *stream) {
    std::string head;
    char buffer[1024];
    while (head.find("\r\n\r\n") == std::string::npos) {
      const gssize got = g_input_stream_read(g_io_stream_get_input_stream(stream), buffer,
                                             sizeof buffer, stop_.get(), nullptr);
      if (got <= 0) {
        return;
      }
      head.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t start = head.find(' ') + 1;
    Answer answer;
    {
      const std::lock_guard lock(mutex_);
      const std::string path = head.substr(start, head.find(' ', start) - start);
      ++requests_[path];
      answer = answers_.contains(path) ? answers_[path] : answer;
    }
    GPollFD stopped{};
    if (answer.delay.count() > 0 && g_cancellable_make_pollfd(stop_.get(), &stopped)) {
      g_poll(&stopped, 1, static_cast<int>(answer.delay.count()));
      g_cancellable_release_fd(stop_.get());
    }
    g_output_stream_write_all(g_io_stream_get_output_stream(stream), answer.response->data(),
                              answer.response->size(), nullptr, stop_.get(), nullptr);
    g_io_stream_close(stream, nullptr, nullptr);
  }

  GObjectPtr<GSocketListener> listener_{g_socket_listener_new()};
  GObjectPtr<GCancellable> stop_{g_cancellable_new()};
  GObjectPtr<GTlsCertificate> certificate_;
  guint16 port_ = 0;
  mutable std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::map<std::string, int> requests_;
  std::thread thread_;
};

}  // namespace qor::test
