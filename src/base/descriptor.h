// A file descriptor of our own, closed when it goes.
#pragma once

#include <unistd.h>

#include <utility>

namespace qor {

class Descriptor {
 public:
  // fd may be -1 for none, as open() gives on failure.
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ != -1) {
      close(fd_);
    }
  }
  Descriptor(Descriptor &&other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor(const Descriptor &) = delete;
  Descriptor &operator=(const Descriptor &) = delete;
  Descriptor &operator=(Descriptor &&) = delete;

  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace qor
