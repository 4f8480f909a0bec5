// Replacing a local file so that a reader never meets half of the new
// content: either all of it is in place, or the old file (or its absence)
// stays exactly as it was, with nothing left beside it.
#pragma once

#include <glib.h>

#include <string>

namespace qor {

// The new content goes to an unnamed file in the destination's folder, which
// gets a name only once all of it was written and synced, and is then renamed
// over the destination: a run killed on the way leaves nothing behind. Where
// the file system has no unnamed files, a named temporary file stands in.
// Nothing ever writes to the destination itself: GIO's replace falls back to
// truncating it in place when it cannot make its temporary file, so a later
// failure would leave the old content damaged.
class FileReplacement {
 public:
  FileReplacement() = default;
  // Abandons a replacement that was opened but not committed: the
  // temporary file is removed.
  ~FileReplacement();
  FileReplacement(const FileReplacement &) = delete;
  FileReplacement &operator=(const FileReplacement &) = delete;

  // Starts replacing the file at path. The new file gets mode 0666 less the
  // umask; the old one's mode is not kept. On failure error holds a GIO
  // error naming the folder.
  bool open(const char *path, GError **error);
  // Appends size bytes to the new content.
  bool write(const void *data, gsize size, GError **error);
  // Puts the new content in place; a symbolic link at the path is replaced,
  // never followed. On failure nothing has changed.
  bool commit(GError **error);

 private:
  bool open_named(const char *folder, GError **error);
  bool name_unnamed(GError **error);
  bool fail(const char *what, const char *on, GError **error);
  void abandon();

  std::string path_;
  std::string temporary_;  // the new file's name; empty while it has none
  int fd_ = -1;
};

}  // namespace qor
