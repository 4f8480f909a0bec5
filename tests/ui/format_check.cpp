// Compiled, not run: a caller of display_error. With QOR_WRONG_ARGUMENTS it
// passes an int where the format asks for a string, which the compiler must
// flag.
#include "ui/display_error.h"

void report(const char *url, int status) {
#ifdef QOR_WRONG_ARGUMENTS
  qor::display_error(nullptr, "Config not found at %s", status);
#else
  qor::display_error(nullptr, "Config not found at %s (status %d)", url, status);
#endif
}
