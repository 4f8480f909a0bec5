// A graphical caller of qor-config: loads this distribution's configuration
// without freezing its window, a spinner turning meanwhile, and tells the
// user in an error box when there is none.
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
  gtk_widget_destroy(shown->window);
}

}  // namespace

int main(int argc, char **argv) {
  // The library leaves the toolkit to its callers.
  if (!gtk_init_check(&argc, &argv)) {
    std::fputs("error-dialog: cannot open the display\n", stderr);
    return 2;
  }
  Window shown;
  shown.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(shown.window), "qor-config");
  GtkWidget *box = gtk_box_new(GTK_ORIENTATION_HORIZONTAL, 12);
  gtk_container_set_border_width(GTK_CONTAINER(box), 24);
  shown.spinner = gtk_spinner_new();
  gtk_container_add(GTK_CONTAINER(box), shown.spinner);
  gtk_container_add(GTK_CONTAINER(box), gtk_label_new("Loading the configuration…"));
  gtk_container_add(GTK_CONTAINER(shown.window), box);
  g_signal_connect(shown.window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(shown.window);
  gtk_spinner_start(GTK_SPINNER(shown.spinner));

  qor::get_configuration_async(nullptr, on_loaded, &shown);
  gtk_main();
  return shown.status;
}
