// A C++ caller whose own headers (beside it, on its include path) are named as ours once were.
#include <qor/qor.h>
#include <qor/qor.hpp>
#include "config/version.h"
#include "net/http_error.h"

static_assert(CALLER_VERSION == 7 && CALLER_HTTP_ERROR == 404);

int main() {
  return qor::compare_versions("6.10", "6.9") > 0 && qor_compare_versions("1", "2") < 0 ? 0 : 1;
}
