# The API reference, made by gi-docgen from the introspection data (Debian's
# gi-docgen) into <build>/reference/qor-config-1, with a page for the C++
# calls, and installed with the documentation. Off by default: a build of the
# libraries alone needs no gi-docgen.
option(QOR_API_REFERENCE "Build the API reference with gi-docgen" OFF)
if(NOT QOR_API_REFERENCE)
  return()
endif()
if(NOT QOR_INTROSPECTION)
  message(FATAL_ERROR "QOR_API_REFERENCE needs the introspection data: g-ir-scanner was not found")
endif()
find_program(QOR_GI_DOCGEN gi-docgen REQUIRED)
set(QOR_REFERENCE_SOURCE ${PROJECT_SOURCE_DIR}/docs/reference)
set(QOR_REFERENCE ${PROJECT_BINARY_DIR}/reference/qor-config-${QOR_ABI})
configure_file(${QOR_REFERENCE_SOURCE}/qor.toml.in ${PROJECT_BINARY_DIR}/qor.toml @ONLY)
add_custom_command(
  OUTPUT ${QOR_REFERENCE}/index.html
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${QOR_REFERENCE}
  COMMAND ${QOR_GI_DOCGEN} generate --quiet --fatal-warnings --no-namespace-dir
          --config=${PROJECT_BINARY_DIR}/qor.toml --content-dir=${QOR_REFERENCE_SOURCE}
          --output-dir=${QOR_REFERENCE} ${QOR_GIR}
  DEPENDS ${QOR_GIR} ${PROJECT_BINARY_DIR}/qor.toml ${QOR_REFERENCE_SOURCE}/cpp.md
          ${QOR_REFERENCE_SOURCE}/urlmap.js
  COMMENT "gi-docgen: the API reference"
  VERBATIM)
add_custom_target(qor-config-reference ALL DEPENDS ${QOR_REFERENCE}/index.html)
install(DIRECTORY ${QOR_REFERENCE} DESTINATION ${CMAKE_INSTALL_DOCDIR})
