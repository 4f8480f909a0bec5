#include "signature/signature_file.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/descriptor.h"
#include "signature/signature.h"

namespace qor {

namespace {

std::nullopt_t fail(GError **error, const std::string &path, int code, const char *reason) {
  g_set_error(error, G_IO_ERROR, g_io_error_from_errno(code), "Cannot read %s: %s", path.c_str(),
              reason);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> read_signature_file(const std::string &path, GError **error) {
  // Non-blocking, so that opening a FIFO with no writer returns at once.
  const Descriptor file(
      open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() == -1) {
    const int code = errno;
    return fail(error, path, code,
                code == ELOOP ? "it is a symbolic link, which is not followed" : g_strerror(code));
  }
  struct stat status {};
  if (fstat(file.get(), &status) != 0) {
    const int code = errno;
    return fail(error, path, code, g_strerror(code));
  }
  if (!S_ISREG(status.st_mode)) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_NOT_REGULAR_FILE,
                "Cannot read %s: not a regular file", path.c_str());
    return std::nullopt;
  }
  std::string text(kMaxSignatureSize + 1, '\0');
  std::size_t got = 0;
  while (got < text.size()) {
    const ssize_t read_now = read(file.get(), text.data() + got, text.size() - got);
    if (read_now == 0) {
      break;
    }
    if (read_now == -1 && errno != EINTR) {
      const int code = errno;
      return fail(error, path, code, g_strerror(code));
    }
    got += read_now > 0 ? static_cast<std::size_t>(read_now) : 0;
  }
  text.resize(got);
  return text;
}

}  // namespace qor
