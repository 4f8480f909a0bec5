#include "net/http_download.h"

namespace qor {

// TODO: the libsoup download.
bool http_download_file(const char *, const char *, GError **) { return false; }

}  // namespace qor
