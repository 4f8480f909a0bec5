# GObject Introspection data for the C interface (QOR_C_HEADER, <qor/qor.h>),
# so that Python, JavaScript and Vala call the library: Qor-1.0.gir, compiled
# into Qor-1.0.typelib, both installed where the introspection tools look.
# Built wherever g-ir-scanner is found; not every caller needs it.
find_program(QOR_G_IR_SCANNER g-ir-scanner)
find_program(QOR_G_IR_COMPILER g-ir-compiler)
if(NOT QOR_G_IR_SCANNER OR NOT QOR_G_IR_COMPILER)
  message(STATUS "No g-ir-scanner or g-ir-compiler: the introspection data (Qor-1.0) is not built")
  set(QOR_INTROSPECTION OFF)
  return()
endif()
set(QOR_INTROSPECTION ON)

set(QOR_GIR ${PROJECT_BINARY_DIR}/Qor-1.0.gir)
set(QOR_TYPELIB ${PROJECT_BINARY_DIR}/Qor-1.0.typelib)
# The scanner builds and runs a small C program against the library to read
# its types; a sanitized library needs the sanitizers linked into it too.
set(QOR_GIR_ENVIRONMENT CC=${CMAKE_C_COMPILER})
if(QOR_SANITIZE)
  list(APPEND QOR_GIR_ENVIRONMENT "LDFLAGS=-fsanitize=address,undefined"
       ASAN_OPTIONS=detect_leaks=0)
endif()
add_custom_command(
  OUTPUT ${QOR_GIR}
  COMMAND ${CMAKE_COMMAND} -E env ${QOR_GIR_ENVIRONMENT}
          ${QOR_G_IR_SCANNER} --quiet --warn-all --warn-error
          --namespace=Qor --nsversion=1.0 --identifier-prefix=Qor --symbol-prefix=qor
          --include=Gio-2.0 --pkg=gio-2.0 --c-include=qor/qor.h
          --library=qor-config --library-path=$<TARGET_FILE_DIR:qor-config>
          -L$<TARGET_FILE_DIR:qor-config> -I${PROJECT_SOURCE_DIR}/include
          -I${PROJECT_BINARY_DIR}/include
          --output=${QOR_GIR} ${QOR_C_HEADER} ${PROJECT_BINARY_DIR}/include/qor/version.h
  DEPENDS qor-config ${QOR_C_HEADER}
  COMMENT "Scanning the C interface for Qor-1.0.gir"
  VERBATIM)
add_custom_command(
  OUTPUT ${QOR_TYPELIB}
  COMMAND ${QOR_G_IR_COMPILER} --output=${QOR_TYPELIB} ${QOR_GIR}
  DEPENDS ${QOR_GIR}
  VERBATIM)
add_custom_target(qor-config-typelib ALL DEPENDS ${QOR_TYPELIB})

install(FILES ${QOR_GIR} DESTINATION ${CMAKE_INSTALL_DATADIR}/gir-1.0)
install(FILES ${QOR_TYPELIB} DESTINATION ${CMAKE_INSTALL_LIBDIR}/girepository-1.0)
