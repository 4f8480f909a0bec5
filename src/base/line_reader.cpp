#include "base/line_reader.h"

#include <algorithm>

#include "base/text.h"

namespace qor {

namespace {

constexpr std::size_t kChunkSize = std::size_t{64} * 1024;

}  // namespace

LineReader::LineReader(std::string_view text) : rest_(up_to_nul(text)), ended_(true) {}

LineReader::LineReader(GInputStream *stream)
    : stream_(G_INPUT_STREAM(g_object_ref(stream))), buffer_(kChunkSize, '\0') {}

bool LineReader::read_chunk() {
  if (ended_) {
    return false;
  }
  GError *error = nullptr;
  const gssize got =
      g_input_stream_read(stream_.get(), buffer_.data(), buffer_.size(), nullptr, &error);
  if (got <= 0) {
    error_.reset(error);
    ended_ = true;
    return false;
  }
  const std::string_view chunk(buffer_.data(), static_cast<std::size_t>(got));
  rest_ = up_to_nul(chunk);
  ended_ = rest_.size() < chunk.size();
  return true;
}

std::optional<std::string_view> LineReader::next(std::size_t keep) {
  if (done_) {
    return std::nullopt;
  }
  line_.clear();
  bool spans_chunks = false;
  for (;;) {
    if (rest_.empty() && !read_chunk()) {
      done_ = true;
      if (error_) {
        return std::nullopt;
      }
      return line_;
    }
    const std::size_t end = rest_.find('\n');
    const std::string_view piece = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    if (end != std::string_view::npos && !spans_chunks) {
      return piece.substr(0, keep);  // the whole line lies in this chunk
    }
    line_.append(piece.substr(0, keep - std::min(keep, line_.size())));
    spans_chunks = true;
    if (end != std::string_view::npos) {
      return line_;
    }
  }
}

}  // namespace qor
