// Replacing a local file so that a reader never meets half of the new
// content: either all of it is in place, or the old file (or its absence)
// stays exactly as it was, with nothing left beside it.
#pragma once

#include <glib.h>

#include <string>

namespace qor {

// The new content goes to an unnamed file in the destination's folder, which
// gets a name only once all of it was written and synced, and is then renamed
// over the destination: a run killed on the way leaves nothing behind, unless
// it dies between the naming and the rename. Where the file system has no
// unnamed files, a
// named temporary file stands in. Nothing ever writes to the
// destination itself: GIO's replace falls back to truncating it in place when it cannot
// make its temporary file, so a later failure would leave the old content
// damaged.
class FileReplacement {
 public:
  // Replaces the file at path; nothing is made before open(), the first
  // write or the commit, so that a replacement that turns out not to be
  // needed (a 304) needs no folder it can write in.
  explicit FileReplacement(std::string path);
  // Abandons a replacement that was not committed: the temporary file is
  // removed.
  ~FileReplacement();
  FileReplacement(const FileReplacement &) = delete;
  FileReplacement &operator=(const FileReplacement &) = delete;

  // Makes the temporary file now rather than at the first write, for a
  // caller that would rather fail before fetching anything than after.
  bool open(GError **error);
  // Appends size bytes to the new content. The new file gets mode 0666 less
  // the umask; the old one's mode is not kept. On failure error holds a GIO
  // error naming the folder or the file.
  bool write(const void *data, gsize size, GError **error);
  // Puts the new content in place, an empty file where nothing was written; a
  // symbolic link at the path is replaced, never followed. On failure nothing
  // has changed. Then removes what killed runs left beside it (a temporary
  // file of this class's that no one has written to for an hour). A
  // replacement is committed, or fails, once: later calls fail.
  bool commit(GError **error);

 private:
  bool open_named(const char *folder, GError **error);
  bool name_unnamed(GError **error);
  bool fail(const char *what, const char *on, GError **error);
  void abandon();

  enum class State { kNothingMade, kOpen, kOver };
  std::string path_;
  std::string temporary_;  // the new file's name; empty while it has none
  int fd_ = -1;
  State state_ = State::kNothingMade;
};

}  // namespace qor
