// qor-config for C++: the distribution probe, the configuration loader and
// its record, the HTTP download and version ordering, in one include. The
// error box is apart, in <qor/display_error.h>, with the library of its GTK.
#pragma once

#include <qor/compare_versions.hpp>
#include <qor/configuration.hpp>
#include <qor/distro_info.hpp>
#include <qor/http_download.hpp>
#include <qor/http_error.hpp>
#include <qor/signature_error.hpp>
#include <qor/version.h>
