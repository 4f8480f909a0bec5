// A caller of the library, built as C11 and as C++17, whose own headers beside it are named as
// ours once were.
#include <qor/qor.h>
#include <string.h>
#include "config/version.h"
#include "net/http_error.h"
#ifdef __cplusplus
#include <qor/qor.hpp>
#define OURS(a, b) qor::compare_versions(a, b)
#else
#define OURS(a, b) qor_compare_versions(a, b)
#endif

int main(void) {
  if (CALLER_VERSION != 7 || CALLER_HTTP_ERROR != 404 || !QOR_CHECK_VERSION(1, 0, 0) ||
      QOR_CHECK_VERSION(QOR_MAJOR_VERSION + 1, 0, 0) || OURS("6.10", "6.9") <= 0 ||
      OURS("5.15", "5.15") != 0 || g_type_name(QOR_TYPE_CONFIGURATION) == NULL) {
    return 1;
  }
  return strstr(qor_get_config_url(), "/gfx/qor-config.cfg") == NULL;
}
