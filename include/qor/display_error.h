// An error message box for graphical callers of the library, in its own
// library per GTK (qor-config-gtk3 or qor-config-gtk4).
#pragma once

#include <glib.h>

#include <qor/export.h>

// Only pointers to the window pass through here, so callers that never show
// the dialog need not compile against GTK. GTK 3 and GTK 4 both use this tag,
// so one header serves libqor-config-gtk3 and libqor-config-gtk4 alike: the
// library linked decides which GTK the box is made with.
typedef struct _GtkWindow GtkWindow;  // NOLINT(bugprone-reserved-identifier)

#ifdef __cplusplus
namespace qor {

// Formats the printf-style message and shows it in an error message box with
// a single Close button, then blocks in the box's own event loop until the
// user closes it. Returns nothing; which way the box was closed is not told.
//
// parent, when not null, is the window the box is placed over; it stays the
// caller's. The box is created with no dialog flags: it blocks input to other
// windows only while this call waits, its life is not tied to the parent's,
// and it is destroyed before the call returns.
// The formatted text is shown literally: a '%' produced by the arguments is
// not read as a format again. Bytes that are not UTF-8 are shown as
// replacement characters.
//
// The caller must have initialised GTK (gtk_init or gtk_init_check) on this
// thread. Without an open display no box can be shown: the message is logged
// as a warning instead and the call returns at once. A null format does
// nothing but log a critical message.
QOR_EXPORT void display_error(GtkWindow *parent, const char *format, ...) G_GNUC_PRINTF(2, 3);

}  // namespace qor
#endif

G_BEGIN_DECLS

/**
 * qor_display_error: (skip)
 * @parent: (nullable): the window the box is placed over
 * @format: a printf format
 * @...: its arguments
 *
 * qor::display_error() for C callers.
 *
 * Since: 1.0
 */
QOR_EXPORT void qor_display_error(GtkWindow *parent, const char *format, ...) G_GNUC_PRINTF(2, 3);

G_END_DECLS
