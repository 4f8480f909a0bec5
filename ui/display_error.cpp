#include "ui/display_error.h"

#include <gtk/gtk.h>

namespace qor {

void display_error(GtkWindow *parent, const char *format, ...) {
  va_list args;
  va_start(args, format);
  g_autofree char *message = g_strdup_vprintf(format, args);
  va_end(args);
  GtkWidget *dialog = gtk_message_dialog_new(parent, static_cast<GtkDialogFlags>(0),
                                             GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", message);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

}  // namespace qor
