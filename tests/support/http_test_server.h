// An HTTP/1.1 server on 127.0.0.1 that can misbehave on purpose: a path gets the exact bytes
// set for it (else a 404) after their delay, then the connection closes or is kept for the next
// request. It counts connections, and requests, their heads' bytes and bytes sent, per path and
// in all ("").
#pragma once

#include <gio/gio.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/glib_ptr.h"

namespace qor::test {

class HttpTestServer {
 public:
  // With cert (test::certificate) it speaks HTTPS.
  explicit HttpTestServer(const std::string &cert = {}) {
    if (!cert.empty()) {
      certificate_.reset(g_tls_certificate_new_from_files((cert + ".pem").c_str(),
                                                          (cert + ".key").c_str(), nullptr));
    }
    g_autoptr(GSocketAddress) wanted = g_inet_socket_address_new_from_string("127.0.0.1", 0);
    g_autoptr(GSocketAddress) bound = nullptr;
    g_socket_listener_add_address(listener_.get(), wanted, G_SOCKET_TYPE_STREAM,
                                  G_SOCKET_PROTOCOL_TCP, nullptr, &bound, nullptr);
    url_ = (certificate_ ? "https://127.0.0.1:" : "http://127.0.0.1:") +
           std::to_string(g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound)));
    thread_ = std::jthread([this] {
      std::vector<std::jthread> connections;
      while (GSocketConnection *accepted =
                 g_socket_listener_accept(listener_.get(), nullptr, stop_.get(), nullptr)) {
        ++connections_;
        connections.emplace_back([this, accepted] { serve(G_IO_STREAM(accepted)); });
      }
    });
  }
  ~HttpTestServer() {
    release_held();
    g_cancellable_cancel(stop_.get());
  }
  // Sends every answer held back by its delay now, and later ones at once.
  void release_held() {
    const std::lock_guard lock(mutex_);
    released_ = true;
    held_.notify_all();
  }

  std::string url(const std::string &path) const { return url_ + path; }
  // How the connection ends after the answer: closed with TLS's close_notify; cut beneath TLS,
  // as a crashed server or a forged close does; or kept open for the next request (without
  // "Connection: close"), which holds a body cut short open as a server stalling mid-body does.
  enum End { kCloseNotify, kNoCloseNotify, kKeptOpen };
  void answer(const std::string &path, std::string response, std::chrono::milliseconds delay = {},
              End end = kCloseNotify) {
    const std::lock_guard lock(mutex_);
    answers_[path] = {std::move(response), delay, end};
  }
  // A request of path whose head holds condition (If-None-Match: "v1") gets response.
  void answer_if(const std::string &path, const std::string &condition, std::string response) {
    const std::lock_guard lock(mutex_);
    answers_[path].condition = condition;
    answers_[path].if_met = std::move(response);
  }
  struct Traffic {
    int requests = 0;
    std::size_t heads = 0, sent = 0;  // NOLINT(readability-isolate-declaration)
  };
  Traffic traffic(const std::string &path) const {
    const std::lock_guard lock(mutex_);
    return traffic_.contains(path) ? traffic_.at(path) : Traffic{};
  }
  int requests(const std::string &path) const { return traffic(path).requests; }
  int connections() const { return connections_; }

  static std::string status(int code, const std::string &reason) {
    return "HTTP/1.1 " + std::to_string(code) + " " + reason +
           "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
  }
  static std::string ok(const std::string &body, const std::string &headers = {},
                        bool close = true) {
    return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
           (close ? "\r\nConnection: close\r\n\r\n" : "\r\n\r\n") + body;
  }

 private:
  struct Answer {
    std::string response = status(404, "Not Found");
    std::chrono::milliseconds delay{};
    End end = kCloseNotify;
    std::string condition = {}, if_met = {};  // NOLINT(readability-isolate-declaration)
  };

  // Answers the requests that come over accepted, each for the path in its
  // head's first line, until an answer ends the connection or none comes.
  void serve(GIOStream *accepted) {
    g_autoptr(GIOStream) connection = accepted;
    g_autoptr(GIOStream) tls =
        certificate_ ? g_tls_server_connection_new(connection, certificate_.get(), nullptr)
                     : nullptr;
    GIOStream *stream = tls != nullptr ? tls : connection;
    Answer answer{.end = kKeptOpen};
    for (std::string head; answer.end == kKeptOpen; head.clear()) {
      for (char byte = 0; !head.ends_with("\r\n\r\n"); head += byte) {
        if (g_input_stream_read(g_io_stream_get_input_stream(stream), &byte, 1, stop_.get(),
                                nullptr) != 1) {
          return;  // the client hung up, or the TLS handshake failed
        }
      }
      answer = take_answer(head);
      g_output_stream_write_all(g_io_stream_get_output_stream(stream), answer.response.data(),
                                answer.response.size(), nullptr, stop_.get(), nullptr);
    }
    g_io_stream_close(answer.end == kNoCloseNotify ? connection : stream, nullptr, nullptr);
  }

  // The answer to a request with head, once its delay is over; counted.
  Answer take_answer(const std::string &head) {
    std::unique_lock lock(mutex_);
    const std::size_t start = head.find(' ') + 1;
    const std::string path = head.substr(start, head.find(' ', start) - start);
    Answer answer = answers_.contains(path) ? answers_[path] : Answer{};
    if (!answer.if_met.empty() && head.find(answer.condition + "\r\n") != std::string::npos) {
      answer.response = answer.if_met;
    }
    for (Traffic &counts : {std::ref(traffic_[path]), std::ref(traffic_[""])}) {
      counts = {counts.requests + 1, counts.heads + head.size(),
                counts.sent + answer.response.size()};
    }
    held_.wait_for(lock, answer.delay, [this] { return released_; });
    return answer;
  }

  GObjectPtr<GSocketListener> listener_{g_socket_listener_new()};
  GObjectPtr<GCancellable> stop_{g_cancellable_new()};
  GObjectPtr<GTlsCertificate> certificate_;
  std::string url_;
  mutable std::mutex mutex_;
  std::condition_variable held_;
  bool released_ = false;
  std::map<std::string, Answer> answers_;
  std::map<std::string, Traffic> traffic_;
  std::atomic<int> connections_ = 0;
  std::jthread thread_;  // last: joined before the rest goes
};

}  // namespace qor::test
