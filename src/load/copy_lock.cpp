#include "load/copy_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace qor {

namespace {

constexpr int kRetryMs = 10;

std::nullopt_t fail(GError **error, const std::string &file, int code, const char *reason) {
  g_set_error(error, G_IO_ERROR, g_io_error_from_errno(code), "Cannot lock %s: %s", file.c_str(),
              reason);
  return std::nullopt;
}

// The lock file, made where it is missing; a descriptor of -1 where the
// folder cannot be written.
std::optional<Descriptor> open_lock_file(const std::string &file, GError **error) {
  Descriptor lock(open(file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600));
  if (lock.get() == -1) {
    const int code = errno;
    if (code == EACCES || code == EROFS || code == EPERM) {
      return lock;
    }
    return fail(error, file, code,
                code == ELOOP ? "it is a symbolic link, which is not followed" : g_strerror(code));
  }
  // One made with wider rights by another program would let others open it,
  // so it is closed to them; neither call fails on a file of one's own.
  struct stat status {};
  if (fstat(lock.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_uid != geteuid() ||
      ((status.st_mode & 077) != 0 && fchmod(lock.get(), 0600) != 0)) {
    return fail(error, file, EPERM, "not a regular file of this user's");
  }
  return lock;
}

// Sleeps for a retry, or less where cancellable is cancelled meanwhile.
void pause(GCancellable *cancellable) {
  GPollFD wake{};
  if (g_cancellable_make_pollfd(cancellable, &wake)) {
    g_poll(&wake, 1, kRetryMs);
    g_cancellable_release_fd(cancellable);
  } else {
    g_usleep(kRetryMs * G_TIME_SPAN_MILLISECOND);
  }
}

}  // namespace

std::string lock_path(const std::string &path) { return path + ".lock"; }

std::optional<Descriptor> lock_copy(const std::string &path, std::chrono::milliseconds wait,
                                    GCancellable *cancellable, GError **error) {
  const std::string file = lock_path(path);
  std::optional<Descriptor> lock = open_lock_file(file, error);
  if (!lock || lock->get() == -1) {
    return lock;
  }
  const gint64 deadline = g_get_monotonic_time() + wait.count() * G_TIME_SPAN_MILLISECOND;
  while (flock(lock->get(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR) {
      return lock;  // a file system that cannot lock
    }
    if (g_cancellable_set_error_if_cancelled(cancellable, error)) {
      return std::nullopt;
    }
    if (g_get_monotonic_time() >= deadline) {
      g_set_error(error, G_IO_ERROR, G_IO_ERROR_BUSY,
                  "Cannot lock %s: another load held it for %g seconds", file.c_str(),
                  static_cast<double>(wait.count()) / 1000);
      return std::nullopt;
    }
    pause(cancellable);
  }
  return lock;
}

}  // namespace qor
