#include "support/http_test_server.h"

#include <stdexcept>

namespace qor::test {

namespace {

void check(bool ok, GError *error) {
  if (!ok) {
    std::string message = error != nullptr ? error->message : "failed";
    g_clear_error(&error);
    throw std::runtime_error("test server: " + message);
  }
}

// The path of the request line, once the whole head has arrived.
std::string read_request_path(GInputStream *in, GCancellable *cancel) {
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    gssize got = g_input_stream_read(in, buffer, sizeof buffer, cancel, nullptr);
    if (got <= 0) {
      return {};
    }
    head.append(buffer, static_cast<size_t>(got));
  }
  const size_t start = head.find(' ');
  const size_t end = head.find(' ', start + 1);
  return start == std::string::npos || end == std::string::npos
             ? std::string()
             : head.substr(start + 1, end - start - 1);
}

// Waits for delay, or less when stop is cancelled.
void wait_unless_stopped(GCancellable *stop, std::chrono::milliseconds delay) {
  GPollFD poll{};
  if (delay.count() > 0 && g_cancellable_make_pollfd(stop, &poll)) {
    g_poll(&poll, 1, static_cast<int>(delay.count()));
    g_cancellable_release_fd(stop);
  }
}

}  // namespace

HttpTestServer::HttpTestServer(const std::string &cert_dir, guint16 port)
    : listener_(g_socket_listener_new()), stop_(g_cancellable_new()) {
  GError *error = nullptr;
  if (!cert_dir.empty()) {
    certificate_.reset(g_tls_certificate_new_from_files(
        (cert_dir + "/server.pem").c_str(), (cert_dir + "/server.key").c_str(), &error));
    check(certificate_ != nullptr, error);
  }
  g_autoptr(GInetAddress) loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
  g_autoptr(GSocketAddress) wanted = g_inet_socket_address_new(loopback, port);
  g_autoptr(GSocketAddress) bound = nullptr;
  check(g_socket_listener_add_address(listener_.get(), wanted, G_SOCKET_TYPE_STREAM,
                                      G_SOCKET_PROTOCOL_TCP, nullptr, &bound, &error),
        error);
  port_ = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
  thread_ = std::thread(&HttpTestServer::run, this);
}

HttpTestServer::~HttpTestServer() {
  g_cancellable_cancel(stop_.get());
  thread_.join();
  g_socket_listener_close(listener_.get());
}

std::string HttpTestServer::url(std::string_view path) const {
  return std::string(certificate_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         std::string(path);
}

void HttpTestServer::answer(const std::string &path, std::string response,
                            std::chrono::milliseconds delay) {
  const std::lock_guard lock(mutex_);
  answers_[path] = {std::move(response), delay};
}

int HttpTestServer::requests(const std::string &path) const {
  const std::lock_guard lock(mutex_);
  auto found = requests_.find(path);
  return found == requests_.end() ? 0 : found->second;
}

std::string HttpTestServer::ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" + std::string(body);
}

std::string HttpTestServer::status(int code, std::string_view reason) {
  const std::string body = "<h1>" + std::string(reason) + "</h1>";
  return "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

std::string HttpTestServer::redirect(int code, std::string_view location) {
  return "HTTP/1.1 " + std::to_string(code) + " Moved\r\nLocation: " + std::string(location) +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

void HttpTestServer::run() {
  for (;;) {
    g_autoptr(GSocketConnection) connection =
        g_socket_listener_accept(listener_.get(), nullptr, stop_.get(), nullptr);
    if (connection == nullptr) {
      return;
    }
    if (!certificate_) {
      serve(G_IO_STREAM(connection));
    } else {
      serve_tls(G_IO_STREAM(connection));
    }
    g_io_stream_close(G_IO_STREAM(connection), nullptr, nullptr);
  }
}

void HttpTestServer::serve_tls(GIOStream *connection) {
  g_autoptr(GIOStream) tls = g_tls_server_connection_new(connection, certificate_.get(), nullptr);
  if (tls != nullptr && g_tls_connection_handshake(G_TLS_CONNECTION(tls), stop_.get(), nullptr)) {
    serve(tls);
    g_io_stream_close(tls, nullptr, nullptr);
  }
}

void HttpTestServer::serve(GIOStream *stream) {
  const std::string path = read_request_path(g_io_stream_get_input_stream(stream), stop_.get());
  if (path.empty()) {
    return;
  }
  const Answer answer = answer_for(path);
  wait_unless_stopped(stop_.get(), answer.delay);
  g_output_stream_write_all(g_io_stream_get_output_stream(stream), answer.response.data(),
                            answer.response.size(), nullptr, stop_.get(), nullptr);
}

HttpTestServer::Answer HttpTestServer::answer_for(const std::string &path) {
  const std::lock_guard lock(mutex_);
  ++requests_[path];
  auto found = answers_.find(path);
  return found != answers_.end() ? found->second : Answer{status(404, "Not Found")};
}

}  // namespace qor::test
