// A GTK 4 caller of qor-config: loads this distribution's configuration
// without freezing its window, a spinner turning meanwhile, and tells the
// user in an error box when there is none. It links libqor-config-gtk4, so
// GTK 3 never enters the process.
#include <gtk/gtk.h>

#include <cstdio>

#include <qor/display_error.h>
#include <qor/qor.hpp>

namespace {

struct Window {
  GtkWidget *window = nullptr;
  GtkWidget *spinner = nullptr;
  int status = 0;
};

// Runs in the main loop once the load is done.
void on_loaded(GObject * /*source*/, GAsyncResult *result, gpointer data) {
  auto *shown = static_cast<Window *>(data);
  gtk_spinner_stop(GTK_SPINNER(shown->spinner));
  g_autoptr(GError) error = nullptr;
  const qor::Configuration *config = qor::get_configuration_finish(result, &error);
  if (config == nullptr) {
    qor::display_error(GTK_WINDOW(shown->window), "Config not found at %s\n\n%s", qor::ConfigUrl,
                       error->message);
    shown->status = 1;
  } else {
    // The record is the library's: read it, never free it.
    std::printf("%zu sources\n", config->sources ? config->sources->size() : 0);
  }
  gtk_window_destroy(GTK_WINDOW(shown->window));
}

}  // namespace

int main() {
  // The library leaves the toolkit to its callers.
  if (!gtk_init_check()) {
    std::fputs("error-dialog-gtk4: cannot open the display\n", stderr);
    return 2;
  }
  g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
  Window shown;
  shown.window = gtk_window_new();
  gtk_window_set_title(GTK_WINDOW(shown.window), "qor-config");
  GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_widget_set_margin_top(box, 24);
  gtk_widget_set_margin_bottom(box, 24);
  gtk_widget_set_margin_start(box, 24);
  gtk_widget_set_margin_end(box, 24);
  shown.spinner = gtk_spinner_new();
  gtk_box_append(GTK_BOX(box), shown.spinner);
  gtk_box_append(GTK_BOX(box), gtk_label_new("Loading the configuration…"));
  gtk_window_set_child(GTK_WINDOW(shown.window), box);
  g_signal_connect_swapped(shown.window, "destroy", G_CALLBACK(g_main_loop_quit), loop);
  gtk_window_present(GTK_WINDOW(shown.window));
  gtk_spinner_start(GTK_SPINNER(shown.spinner));

  qor::get_configuration_async(nullptr, on_loaded, &shown);
  g_main_loop_run(loop);
  return shown.status;
}
