# The error box test opens real windows, so it needs GTK itself, not only the
# library's headers.
target_link_libraries(display_error_test PRIVATE PkgConfig::GTK)

# display_error checks its format at compile time: a caller passing the wrong
# arguments must get a warning. One file, compiled once as a correct caller
# and once as a wrong one.
set(QOR_FORMAT_CHECK_COMMAND
    ${CMAKE_CXX_COMPILER} -std=c++20 -fsyntax-only -Wformat -Werror=format
    -I${PROJECT_SOURCE_DIR}
    "-I$<JOIN:$<TARGET_PROPERTY:PkgConfig::GLIB,INTERFACE_INCLUDE_DIRECTORIES>,$<SEMICOLON>-I>"
    ${CMAKE_CURRENT_SOURCE_DIR}/ui/format_check.cpp)
add_test(NAME display_error_format_accepts_right_arguments
         COMMAND ${QOR_FORMAT_CHECK_COMMAND} COMMAND_EXPAND_LISTS)
add_test(NAME display_error_format_rejects_wrong_arguments
         COMMAND ${QOR_FORMAT_CHECK_COMMAND} -DQOR_WRONG_ARGUMENTS COMMAND_EXPAND_LISTS)
set_tests_properties(display_error_format_rejects_wrong_arguments PROPERTIES
  PASS_REGULAR_EXPRESSION "-Werror=format")
