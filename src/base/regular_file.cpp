#include "base/regular_file.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "base/descriptor.h"

namespace qor {

namespace {

std::nullopt_t fail(GError **error, const std::string &path, int code, const char *reason) {
  g_set_error(error, G_IO_ERROR, g_io_error_from_errno(code), "Cannot read %s: %s", path.c_str(),
              reason);
  return std::nullopt;
}

std::nullopt_t fail(GError **error, const std::string &path) {
  const int code = errno;
  return fail(error, path, code, g_strerror(code));
}

}  // namespace

std::optional<std::string> read_regular_file(
    const std::string &path, std::size_t limit, GError **error,
    const std::function<void(std::string_view piece)> &each_piece) {
  // Non-blocking, so that opening a FIFO with no writer returns at once.
  const Descriptor file(
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() == -1) {
    if (errno == ELOOP) {
      return fail(error, path, ELOOP, "it is a symbolic link, which is not followed");
    }
    return fail(error, path);
  }
  struct stat status {};
  if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_NOT_REGULAR_FILE,
                "Cannot read %s: not a regular file", path.c_str());
    return std::nullopt;
  }
  std::string text;
  text.reserve(std::min(static_cast<std::size_t>(std::max<off_t>(status.st_size, 0)), limit) + 1);
  std::vector<char> chunk(std::min(limit + 1, std::size_t{64} * 1024));
  while (text.size() <= limit) {
    const ssize_t got = TEMP_FAILURE_RETRY(
        read(file.get(), chunk.data(), std::min(chunk.size(), limit + 1 - text.size())));
    if (got == 0) {
      break;
    }
    if (got == -1) {
      return fail(error, path);
    }
    const std::string_view piece(chunk.data(), static_cast<std::size_t>(got));
    if (each_piece) {
      each_piece(piece);
    }
    text.append(piece);
  }
  return text;
}

}  // namespace qor
