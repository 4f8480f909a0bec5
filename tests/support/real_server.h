// A server from Debian's packages, started by the test as whoever runs it on a
// loopback port that was free, from a template in tests/data/servers whose
// first line is its command: @DIR@ is its folder (the documents in www/, the
// requests one a line in access.log), @PORT@ its port, @CERTS@ the tests'
// certificates, @HTTP2@ what turns HTTP/2 on.
#pragma once

#include <gtest/gtest.h>

#include <csignal>

#include "base/glib_ptr.h"
#include "test_util.h"

namespace qor::test {

class RealServer {
 public:
  explicit RealServer(const std::string &name, const std::string &http2 = {}) {
    g_chmod(dir_.path.c_str(), 0755);  // Apache, started as root, serves as nobody
    g_mkdir_with_parents(file("www/gfx").c_str(), 0755);
    for (int attempt = 0; attempt < 5 && !listening(); ++attempt) {  // another took the port
      g_autoptr(GSocketListener) probe = g_socket_listener_new();
      port_ = g_socket_listener_add_any_inet_port(probe, nullptr, nullptr);
      g_socket_listener_close(probe);
      std::string config = read_file(QOR_TEST_DATA "/servers/" + name).value();
      for (const auto &[mark, value] : {std::pair{"@DIR@", dir_.path},
                                        {"@PORT@", std::to_string(port_)},
                                        {"@CERTS@", std::string(g_getenv("QOR_CERTS"))},
                                        {"@HTTP2@", http2}}) {
        config = replaced(config, mark, value);
      }
      write_file(file("config"), config);
      g_auto(GStrv) command = g_strsplit(config.substr(2, config.find('\n') - 2).c_str(), " ", -1);
      process_.reset(g_subprocess_newv(command, G_SUBPROCESS_FLAGS_NONE, nullptr));
    }
    EXPECT_TRUE(listening()) << name << " did not start";
  }
  ~RealServer() {
    if (!process_) return;
    g_subprocess_send_signal(process_.get(), SIGTERM);
    g_subprocess_wait(process_.get(), nullptr, nullptr);
  }

  int port() const { return port_; }
  std::string url() const { return "https://127.0.0.1:" + std::to_string(port_); }
  std::string file(const std::string &name) const { return dir_.file(name); }
  // Puts contents at path on the server by rename, as publishers are told to.
  void publish(const std::string &path, const std::string &contents) const {
    write_file(file("new"), contents);
    g_rename(file("new").c_str(), file("www" + path).c_str());
  }
  // Its access.log, once that has at least size bytes.
  std::string log(std::size_t size = 0) const {
    std::string text;
    eventually([&] { return (text = read_file(file("access.log")).value_or("")).size() >= size; });
    return text;
  }

 private:
  // Whether it accepts a connection before it exits.
  bool listening() const {
    g_autoptr(GSocketClient) client = g_socket_client_new();
    GObjectPtr<GSocketConnection> connection;
    eventually([&] {
      connection.reset(
          g_socket_client_connect_to_host(client, "127.0.0.1", port_, nullptr, nullptr));
      return connection || !process_ || g_subprocess_get_identifier(process_.get()) == nullptr;
    });
    return connection != nullptr;
  }

  TempDir dir_;
  int port_ = 0;
  GObjectPtr<GSubprocess> process_;
};

}  // namespace qor::test
