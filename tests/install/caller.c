// A C caller of the library, through pkg-config.
#include <qor/qor.h>
#include <string.h>

int main(void) {
  if (!QOR_CHECK_VERSION(1, 0, 0) || QOR_CHECK_VERSION(QOR_MAJOR_VERSION + 1, 0, 0) ||
      qor_compare_versions("6.10", "6.9") <= 0 || qor_compare_versions("5.15", "5.15") != 0 ||
      g_type_name(QOR_TYPE_CONFIGURATION) == NULL) {
    return 1;
  }
  return strstr(qor_get_config_url(), "/gfx/qor-config.cfg") == NULL;
}
