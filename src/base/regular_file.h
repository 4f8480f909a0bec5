// Reading the files kept beside the local copy, and the copy itself, without
// ever blocking on them, following a link or reading without end.
#pragma once

#include <glib.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace qor {

// The bytes of the regular file at path: at most limit and one more, so that
// a larger file shows as such. Each piece is also handed to each_piece, where
// given, as it is read. A symbolic link is not followed, and a FIFO or a
// device is refused without being waited on. nullopt with a GIO error naming
// path otherwise (G_IO_ERROR_NOT_FOUND where there is no file).
std::optional<std::string> read_regular_file(
    const std::string &path, std::size_t limit, GError **error,
    const std::function<void(std::string_view piece)> &each_piece = {});

}  // namespace qor
