#include "support/http_test_server.h"

#include <stdexcept>

namespace qor::test {

namespace {

void check(bool ok, GError *error) {
  if (!ok) {
    const std::string message = error != nullptr ? error->message : "failed";
    g_clear_error(&error);
    throw std::runtime_error("test server: " + message);
  }
}

// The path of the request line, once the whole head has arrived.
std::string read_request_path(GInputStream *in, GCancellable *stop) {
  std::string head;
  char buffer[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    const gssize got = g_input_stream_read(in, buffer, sizeof buffer, stop, nullptr);
    if (got <= 0) {
      return {};
    }
    head.append(buffer, static_cast<std::size_t>(got));
  }
  const std::size_t start = head.find(' ') + 1;
  return head.substr(start, head.find(' ', start) - start);
}

}  // namespace

HttpTestServer::HttpTestServer(const std::string &cert, guint16 port)
    : listener_(g_socket_listener_new()), stop_(g_cancellable_new()) {
  GError *error = nullptr;
  if (!cert.empty()) {
    certificate_.reset(
        g_tls_certificate_new_from_files((cert + ".pem").c_str(), (cert + ".key").c_str(), &error));
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
  answers_[path] = {std::make_shared<const std::string>(std::move(response)), delay};
}

int HttpTestServer::requests(const std::string &path) const {
  const std::lock_guard lock(mutex_);
  const auto found = requests_.find(path);
  return found == requests_.end() ? 0 : found->second;
}

std::string HttpTestServer::ok(std::string_view body) {
  return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\nConnection: close\r\n\r\n" +
         std::string(body);
}

std::string HttpTestServer::status(int code, std::string_view reason) {
  return "HTTP/1.1 " + std::to_string(code) + " " + std::string(reason) +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

std::string HttpTestServer::redirect(int code, std::string_view location) {
  return "HTTP/1.1 " + std::to_string(code) + " Moved\r\nLocation: " + std::string(location) +
         "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
}

void HttpTestServer::run() {
  while (GSocketConnection *accepted =
             g_socket_listener_accept(listener_.get(), nullptr, stop_.get(), nullptr)) {
    connections_.emplace_back([this, accepted] {
      g_autoptr(GIOStream) connection = G_IO_STREAM(accepted);
      if (!certificate_) {
        serve(connection);
        return;
      }
      g_autoptr(GIOStream) tls =
          g_tls_server_connection_new(connection, certificate_.get(), nullptr);
      if (tls != nullptr && g_tls_connection_handshake(G_TLS_CONNECTION(tls), stop_.get(), nullptr)) {
        serve(tls);
      }
    });
  }
  for (std::thread &connection : connections_) {
    connection.join();
  }
}

void HttpTestServer::serve(GIOStream *stream) {
  const std::string path = read_request_path(g_io_stream_get_input_stream(stream), stop_.get());
  if (path.empty()) {
    return;
  }
  const Answer answer = answer_for(path);
  if (answer.delay.count() > 0) {
    GPollFD stopped{};
    g_cancellable_make_pollfd(stop_.get(), &stopped);
    g_poll(&stopped, 1, static_cast<int>(answer.delay.count()));
    g_cancellable_release_fd(stop_.get());
  }
  g_output_stream_write_all(g_io_stream_get_output_stream(stream), answer.response->data(),
                            answer.response->size(), nullptr, stop_.get(), nullptr);
  g_io_stream_close(stream, nullptr, nullptr);
}

HttpTestServer::Answer HttpTestServer::answer_for(const std::string &path) {
  const std::lock_guard lock(mutex_);
  ++requests_[path];
  const auto found = answers_.find(path);
  return found != answers_.end() ? found->second
                                 : Answer{std::make_shared<const std::string>(status(404, "Not Found"))};
}

}  // namespace qor::test
