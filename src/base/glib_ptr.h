// Owning pointers for GLib-style objects kept in members or handed out of a
// function. Locals use g_autoptr/g_autofree instead.
#pragma once

#include <glib-object.h>
#include <glib.h>

#include <memory>

namespace qor {

template <auto FreeFunction>
struct FreeWith {
  template <typename T>
  void operator()(T *pointer) const noexcept {
    FreeFunction(pointer);
  }
};

// A GObject instance, released with g_object_unref.
template <typename T>
using GObjectPtr = std::unique_ptr<T, FreeWith<g_object_unref>>;

// A GError, released with g_error_free.
using GErrorPtr = std::unique_ptr<GError, FreeWith<g_error_free>>;

}  // namespace qor
