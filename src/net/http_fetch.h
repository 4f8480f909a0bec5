// The GET beneath http_download_file, for callers that want the body
// elsewhere than in a file of its own.
#pragma once

#include <gio/gio.h>

#include <functional>
#include <string_view>

namespace qor {

// Takes the next piece of a body; false, with error set, to stop the
// download.
using BodySink = std::function<bool(std::string_view piece, GError **error)>;

// Fetches url as http_download_file does, handing the body to sink as it
// arrives. True when the final response was successful and all of its body
// was taken; on false error is set as by http_download_file.
bool http_fetch(const char *url, const BodySink &sink, GCancellable *cancellable, GError **error);

}  // namespace qor
