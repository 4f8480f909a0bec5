#include "net/file_replace.h"

namespace qor {

namespace {

// Whether anything, a dangling symbolic link included, is at the file's path.
bool something_at(GFile *file) {
  return g_file_query_file_type(file, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, nullptr) !=
         G_FILE_TYPE_UNKNOWN;
}

}  // namespace

FileReplacement::~FileReplacement() { abandon(); }

bool FileReplacement::open(const char *path, GError **error) {
  abandon();
  file_.reset(g_file_new_for_path(path));
  existed_ = something_at(file_.get());
  stream_.reset(g_file_replace(file_.get(), nullptr, FALSE, G_FILE_CREATE_REPLACE_DESTINATION,
                               nullptr, error));
  return stream_ != nullptr;
}

bool FileReplacement::write(GBytes *bytes, GError **error) {
  gsize size = 0;
  const void *data = g_bytes_get_data(bytes, &size);
  if (size == 0) {
    return true;
  }
  return g_output_stream_write_all(G_OUTPUT_STREAM(stream_.get()), data, size, nullptr, nullptr,
                                   error) != FALSE;
}

bool FileReplacement::commit(GError **error) {
  if (!stream_) {
    g_set_error_literal(error, G_IO_ERROR, G_IO_ERROR_CLOSED, "No replacement was opened");
    return false;
  }
  g_autoptr(GFileOutputStream) stream = stream_.release();
  if (g_output_stream_close(G_OUTPUT_STREAM(stream), nullptr, error)) {
    return true;
  }
  // A replacement of an existing file goes through a temporary file that a
  // failed close removes; a new file was written under its own name.
  if (!existed_) {
    g_file_delete(file_.get(), nullptr, nullptr);
  }
  return false;
}

// A dropped stream would commit what it holds, so it is closed as cancelled,
// which throws the temporary file away; a file that did not exist before was
// written in place and must go.
void FileReplacement::abandon() {
  if (!stream_) {
    return;
  }
  g_autoptr(GFileOutputStream) stream = stream_.release();
  g_autoptr(GCancellable) cancelled = g_cancellable_new();
  g_cancellable_cancel(cancelled);
  g_output_stream_close(G_OUTPUT_STREAM(stream), cancelled, nullptr);
  if (!existed_) {
    g_file_delete(file_.get(), nullptr, nullptr);
  }
}

}  // namespace qor
