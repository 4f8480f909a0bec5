# What `cmake --install` puts in place: the shared library with its public
# headers, the error box's library for each GTK built (src/ui), a pkg-config
# file for each and a CMake package with a component per box, and the
# command-line tools' manual pages (tools/CMakeLists.txt installs the tools).
#
# Both the pkg-config file and the CMake package find the rest of the
# installation relative to themselves, so a tree installed with --prefix or
# DESTDIR, or moved as a whole, still describes itself correctly.
include(CMakePackageConfigHelpers)

set(QOR_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/qor-config)

if(QOR_HTTP STREQUAL "soup2")
  set(QOR_HTTP_MODULES "libsoup-2.4 libsoup-gnome-2.4")
else()
  set(QOR_HTTP_MODULES "libsoup-3.0")
endif()

install(TARGETS qor-config EXPORT qor-config LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${QOR_PUBLIC_HEADERS} DESTINATION ${QOR_INSTALL_INCLUDEDIR}/qor)
install(EXPORT qor-config NAMESPACE qor-config:: FILE qor-config-targets.cmake
        DESTINATION ${QOR_PACKAGE_DIR})
foreach(toolkit IN LISTS QOR_TOOLKITS)
  install(TARGETS qor-config-${toolkit} EXPORT qor-config-${toolkit}
          LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
  install(EXPORT qor-config-${toolkit} NAMESPACE qor-config::
          FILE qor-config-${toolkit}-targets.cmake DESTINATION ${QOR_PACKAGE_DIR})
endforeach()
if(QOR_TOOLKITS)
  install(FILES ${QOR_BOX_HEADER} DESTINATION ${QOR_INSTALL_INCLUDEDIR}/qor)
endif()

# pkg-config: every path from ${pcfiledir}, unless the directories were given
# as absolute paths outside the prefix.
set(QOR_PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
set(QOR_PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
  set(QOR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(QOR_PC_LIBDIR "${CMAKE_INSTALL_LIBDIR}")
else()
  file(RELATIVE_PATH QOR_PC_UP "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
  string(REGEX REPLACE "/$" "" QOR_PC_UP "${QOR_PC_UP}")
  set(QOR_PC_PREFIX "\${pcfiledir}/${QOR_PC_UP}")
endif()
if(IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(QOR_PC_INCLUDEDIR "${CMAKE_INSTALL_INCLUDEDIR}")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/qor-config.pc.in ${PROJECT_BINARY_DIR}/qor-config.pc
               @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/qor-config.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
set(QOR_GTK_MODULE_gtk3 gtk+-3.0)
set(QOR_GTK_MODULE_gtk4 gtk4)
set(QOR_CMAKE_BOXES "")
foreach(QOR_TOOLKIT IN LISTS QOR_TOOLKITS)
  set(QOR_GTK_MODULE ${QOR_GTK_MODULE_${QOR_TOOLKIT}})
  string(REPLACE "gtk" "GTK " QOR_GTK_NAME ${QOR_TOOLKIT})
  configure_file(${CMAKE_CURRENT_LIST_DIR}/qor-config-gtk.pc.in
                 ${PROJECT_BINARY_DIR}/qor-config-${QOR_TOOLKIT}.pc @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/qor-config-${QOR_TOOLKIT}.pc
          DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
  string(APPEND QOR_CMAKE_BOXES "set(_qor_config_${QOR_TOOLKIT}_module ${QOR_GTK_MODULE})\n")
endforeach()

# CMake package: find_package(qor-config) gives the target qor-config::qor-config,
# and COMPONENTS gtk3 or gtk4 the box's qor-config::gtk3 or qor-config::gtk4.
configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/qor-configConfig.cmake.in
  ${PROJECT_BINARY_DIR}/qor-configConfig.cmake
  INSTALL_DESTINATION ${QOR_PACKAGE_DIR})
# The major version is the ABI number: any release of it serves a caller
# built against an earlier one.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/qor-configConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/qor-configConfig.cmake
              ${PROJECT_BINARY_DIR}/qor-configConfigVersion.cmake
        DESTINATION ${QOR_PACKAGE_DIR})

# The manual pages name the download URL, which is fixed at build time, and
# the publisher's guide, installed with the tools.
set(QOR_CONFIG_URL "https://${QOR_CONFIG_HOST}/gfx/qor-config.cfg")
set(QOR_PUBLISHER_GUIDE ${CMAKE_INSTALL_FULL_DOCDIR}/file-format.md)
foreach(page qor-config-test.1 qor-config-check.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/${page} ${PROJECT_BINARY_DIR}/${page} @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/docs/file-format.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
