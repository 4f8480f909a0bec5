// Replacing a local file so that a reader never meets half of the new
// content: either all of it is in place, or the old file (or its absence)
// stays exactly as it was.
#pragma once

#include <gio/gio.h>

#include "common/glib_ptr.h"

namespace qor {

class FileReplacement {
 public:
  FileReplacement() = default;
  // Abandons a replacement that was opened but not committed.
  ~FileReplacement();
  FileReplacement(const FileReplacement &) = delete;
  FileReplacement &operator=(const FileReplacement &) = delete;

  // Starts replacing the file at path; a symbolic link there is replaced,
  // never followed. On failure error holds GIO's error as it came.
  bool open(const char *path, GError **error);
  // Appends bytes to the new content.
  bool write(GBytes *bytes, GError **error);
  // Puts the new content in place. On failure nothing has changed.
  bool commit(GError **error);

 private:
  void abandon();

  GObjectPtr<GFile> file_;
  GObjectPtr<GFileOutputStream> stream_;
  bool existed_ = false;
};

}  // namespace qor
