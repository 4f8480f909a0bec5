#include <qor/http_error.hpp>

namespace qor {

GQuark http_error_quark() { return g_quark_from_static_string("HTTP"); }

}  // namespace qor
