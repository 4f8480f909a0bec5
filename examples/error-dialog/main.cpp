// A graphical caller of qor-config: loads this distribution's configuration
// and, when there is none, tells the user in an error box.
#include <gtk/gtk.h>

#include <cstdio>

#include "qor-config.h"

int main(int argc, char **argv) {
  // The library leaves the toolkit to its callers.
  if (!gtk_init_check(&argc, &argv)) {
    std::fputs("error-dialog: cannot open the display\n", stderr);
    return 2;
  }

  const qor::Configuration *config = qor::get_configuration();
  if (config == nullptr) {
    qor::display_error(nullptr, "Config not found at %s", qor::ConfigUrl);
    return 1;
  }
  // The record is the library's: read it, never free it.
  std::printf("%zu sources\n", config->sources ? config->sources->size() : 0);
  return 0;
}
