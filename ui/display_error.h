// An error message box for graphical callers.
#pragma once

#include <glib.h>

typedef struct _GtkWindow GtkWindow;

namespace qor {

// Shows the printf-style message in an error dialog with a Close button over
// parent (may be null) and blocks until the user closes it. The caller must
// have initialised GTK.
void display_error(GtkWindow *parent, const char *format, ...) G_GNUC_PRINTF(2, 3);

}  // namespace qor
