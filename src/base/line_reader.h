// Cutting text into lines, from memory or a piece at a time from a stream.
#pragma once

#include <gio/gio.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "base/glib_ptr.h"

namespace qor {

// Cuts text into lines at every "\n", reading it as C code reads a string: a
// NUL byte ends the text. A final "\n" is followed by one empty line, and
// empty text is one empty line. Text from a stream is read a chunk at a time,
// so a reader that stops early never holds the rest, and a long line that is
// passed over is never held whole.
class LineReader {
 public:
  // Lines of text, which must outlive the reader.
  explicit LineReader(std::string_view text);
  // Lines of what stream gives; the reader holds a reference to it.
  explicit LineReader(GInputStream *stream);

  // The next line without its "\n", or nullopt after the last one or when
  // the stream failed (see error). At most the first keep bytes of the line
  // are returned; the rest is read and dropped. The view is valid until the
  // next call.
  std::optional<std::string_view> next(std::size_t keep = std::string_view::npos);

  // Why the stream failed, or nullptr when it has not.
  const GError *error() const { return error_.get(); }

 private:
  // Moves on to the next chunk of the stream; false at the end of the text.
  bool read_chunk();

  GObjectPtr<GInputStream> stream_;
  std::string buffer_;     // the current chunk of a stream
  std::string_view rest_;  // what is left of the current chunk (or of the text)
  std::string line_;       // a line that runs over the end of a chunk
  bool ended_ = false;     // no more text after rest_
  bool done_ = false;      // the last line has been returned
  GErrorPtr error_;
};

}  // namespace qor
