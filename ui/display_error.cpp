#include "ui/display_error.h"

#include <gtk/gtk.h>

#include <cstdarg>

namespace qor {

namespace {

// Shows text (valid UTF-8) in an error box over parent and waits for the
// user. The text goes through "%s" so that a '%' in it is shown as it stands.
void run_error_dialog(GtkWindow *parent, const char *text) {
  GtkWidget *dialog = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(0),
                                             GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", text);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace

void display_error(GtkWindow *parent, const char *format, ...) {
  g_return_if_fail(format != nullptr);

  va_list args;
  va_start(args, format);
  g_autofree char *message = g_strdup_vprintf(format, args);
  va_end(args);
  // Arguments are often file names or server texts in no particular
  // encoding; GTK would draw invalid UTF-8 as nothing at all.
  g_autofree char *text = g_utf8_make_valid(message, -1);

  // Without a display GTK aborts the whole program on the first widget; the
  // caller still deserves to see the message somewhere.
  if (gdk_display_get_default() == nullptr) {
    g_warning("No display to show this error on: %s", text);
    return;
  }
  run_error_dialog(parent, text);
}

}  // namespace qor
