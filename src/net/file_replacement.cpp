#include "net/file_replacement.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>

#include "base/descriptor.h"

namespace qor {

namespace {

constexpr const char *kTemporaryPrefix = ".qor-download-";
// A download writes its file as the body arrives and names it just before the
// rename, so a named one left alone this long belongs to no live download.
constexpr std::time_t kLeftoverAge = 3600;

// The names this class gives: the prefix, then mkstemp's six letters and
// digits, or eight hex digits.
bool is_temporary_name(std::string_view name) {
  const std::string_view prefix = kTemporaryPrefix;
  if (!name.starts_with(prefix)) {
    return false;
  }
  const std::string_view rest = name.substr(prefix.size());
  return (rest.size() == 6 || rest.size() == 8) &&
         std::all_of(rest.begin(), rest.end(), [](char c) { return g_ascii_isalnum(c); });
}

// Removes the temporary files that killed runs left in folder: regular files
// of this user's under this class's names, written to over an hour ago.
void sweep_leftovers(const char *folder) {
  const Descriptor dir(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  g_autoptr(GDir) entries = g_dir_open(folder, 0, nullptr);
  if (dir.get() == -1 || entries == nullptr) {
    return;
  }
  const std::time_t now = std::time(nullptr);
  while (const char *name = g_dir_read_name(entries)) {
    struct stat status {};
    if (is_temporary_name(name) && fstatat(dir.get(), name, &status, AT_SYMLINK_NOFOLLOW) == 0 &&
        S_ISREG(status.st_mode) && status.st_uid == geteuid() &&
        now - status.st_mtime > kLeftoverAge) {
      (void)unlinkat(dir.get(), name, 0);
    }
  }
}

}  // namespace

FileReplacement::FileReplacement(std::string path) : path_(std::move(path)) {}

FileReplacement::~FileReplacement() { abandon(); }

bool FileReplacement::open(GError **error) {
  if (state_ == State::kOpen) {
    return true;
  }
  if (state_ == State::kOver) {
    g_set_error(error, G_IO_ERROR, G_IO_ERROR_CLOSED, "The replacement of %s is over",
                path_.c_str());
    return false;
  }
  state_ = State::kOpen;
  g_autofree char *folder = g_path_get_dirname(path_.c_str());
  // An unnamed file can be named only through /proc: without it the file
  // has its name from the start.
  if (!g_file_test("/proc/self/fd", G_FILE_TEST_IS_DIR)) {
    return open_named(folder, error);
  }
  fd_ = ::open(folder, O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  if (fd_ == -1 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
    return open_named(folder, error);
  }
  return fd_ != -1 || fail("Cannot make a temporary file in", folder, error);
}

// Where the file system or the kernel has no unnamed files.
bool FileReplacement::open_named(const char *folder, GError **error) {
  g_autofree char *name = g_strdup_printf("%s/%sXXXXXX", folder, kTemporaryPrefix);
  fd_ = g_mkstemp_full(name, O_RDWR | O_CLOEXEC, 0666);
  if (fd_ == -1) {
    return fail("Cannot make a temporary file in", folder, error);
  }
  temporary_ = name;
  return true;
}

bool FileReplacement::write(const void *data, gsize size, GError **error) {
  if (!open(error)) {
    return false;
  }
  const auto *bytes = static_cast<const char *>(data);
  while (size > 0) {
    const gssize written = TEMP_FAILURE_RETRY(::write(fd_, bytes, size));
    if (written == -1) {
      return fail("Cannot write", path_.c_str(), error);
    }
    bytes += written;
    size -= static_cast<gsize>(written);
  }
  return true;
}

bool FileReplacement::commit(GError **error) {
  if (!open(error)) {
    return false;
  }
  // Synced before it is named, so that a crash cannot put an empty or partial
  // file where the old one was.
  if (fsync(fd_) != 0) {
    return fail("Cannot write", path_.c_str(), error);
  }
  if (temporary_.empty() && !name_unnamed(error)) {
    return false;
  }
  if (!g_close(std::exchange(fd_, -1), nullptr)) {
    return fail("Cannot write", path_.c_str(), error);
  }
  if (std::rename(temporary_.c_str(), path_.c_str()) != 0) {
    return fail("Cannot put the new file in place at", path_.c_str(), error);
  }
  temporary_.clear();
  state_ = State::kOver;
  g_autofree char *folder = g_path_get_dirname(path_.c_str());
  sweep_leftovers(folder);
  return true;
}

// Links the unnamed file to a fresh name beside the destination, which only
// /proc/self/fd can do without privileges.
bool FileReplacement::name_unnamed(GError **error) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd_);
  g_autofree char *folder = g_path_get_dirname(path_.c_str());
  for (;;) {
    g_autofree char *name = g_strdup_printf("%s/%s%08x", folder, kTemporaryPrefix, g_random_int());
    if (linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0) {
      temporary_ = name;
      return true;
    }
    if (errno != EEXIST) {
      return fail("Cannot put the new file in place at", path_.c_str(), error);
    }
  }
}

// Reports errno's failure on what was being done and throws the new content
// away.
bool FileReplacement::fail(const char *what, const char *on, GError **error) {
  const int code = errno;
  abandon();
  state_ = State::kOver;
  g_set_error(error, G_IO_ERROR, g_io_error_from_errno(code), "%s %s: %s", what, on,
              g_strerror(code));
  return false;
}

void FileReplacement::abandon() {
  if (fd_ != -1) {
    g_close(std::exchange(fd_, -1), nullptr);
  }
  if (!temporary_.empty()) {
    g_unlink(temporary_.c_str());
    temporary_.clear();
  }
}

}  // namespace qor
