// Built once against each GTK (src/ui/CMakeLists.txt); only showing and waiting
// differ between the two.
#include <qor/display_error.h>

#include <gtk/gtk.h>

#include <cstdarg>
#include <memory>

#include "base/glib_ptr.h"

namespace qor {

namespace {

// GTK keeps a toplevel alive until it is destroyed, and anyone may destroy it
// while we wait; our own reference keeps the pointer good until we are done.
void destroy_and_release(GtkWindow *window) {
#if GTK_MAJOR_VERSION >= 4
  gtk_window_destroy(window);
#else
  gtk_widget_destroy(GTK_WIDGET(window));
#endif
  g_object_unref(window);
}
using BoxPtr = std::unique_ptr<GtkWindow, FreeWith<destroy_and_release>>;

// An error box over parent with text (valid UTF-8), held by a reference of
// our own. The text goes through "%s" so that a '%' in it is shown as it stands.
BoxPtr new_box(GtkWindow *parent, const char *text) {
  // GtkMessageDialog is what GTK 4.8 has; later releases deprecate it.
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  return BoxPtr(GTK_WINDOW(g_object_ref(gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(0), GTK_MESSAGE_ERROR, GTK_BUTTONS_CLOSE, "%s", text))));
  G_GNUC_END_IGNORE_DEPRECATIONS
}

// Shows the box and waits for the user.
void run_error_dialog(GtkWindow *parent, const char *text) {
#if GTK_MAJOR_VERSION >= 4
  // There is no gtk_dialog_run any more. Every way out (the button, closing
  // the window, someone destroying it) ends in a response or in unmapping.
  // The loop outlives the box, whose destruction unmaps it once more.
  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  const BoxPtr box = new_box(parent, text);
  g_signal_connect_swapped(box.get(), "response", G_CALLBACK(g_main_loop_quit), loop);
  g_signal_connect_swapped(box.get(), "unmap", G_CALLBACK(g_main_loop_quit), loop);
  gtk_window_set_modal(box.get(), TRUE);
  gtk_window_present(box.get());
  g_main_loop_run(loop);
#else
  const BoxPtr box = new_box(parent, text);
  gtk_dialog_run(GTK_DIALOG(box.get()));
#endif
}

void display_error_valist(GtkWindow *parent, const char *format, va_list args) {
  g_autofree char *message = g_strdup_vprintf(format, args);
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

}  // namespace

void display_error(GtkWindow *parent, const char *format, ...) {
  g_return_if_fail(format != nullptr);
  va_list args;
  va_start(args, format);
  display_error_valist(parent, format, args);
  va_end(args);
}

}  // namespace qor

void qor_display_error(GtkWindow *parent, const char *format, ...) {
  g_return_if_fail(format != nullptr);
  va_list args;
  va_start(args, format);
  qor::display_error_valist(parent, format, args);
  va_end(args);
}
