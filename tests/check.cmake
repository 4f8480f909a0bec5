# The checker's test calls its report logic directly and runs the program as
# a publisher would.
target_compile_definitions(check_test PRIVATE
  QOR_CHECK_PROGRAM="$<TARGET_FILE:qor-config-check>"
  QOR_CHECK_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data/check")
add_dependencies(check_test qor-config-check)

# The published sample must check clean; it is skipped until it exists.
add_test(NAME check_published_sample
  COMMAND sh -c "test -f \"$1\" || { echo \"no $1\"; exit 77; }; exec \"$2\" \"$1\""
          sh ${PROJECT_SOURCE_DIR}/data/qor-config.cfg $<TARGET_FILE:qor-config-check>)
set_tests_properties(check_published_sample PROPERTIES SKIP_RETURN_CODE 77
  ENVIRONMENT "${QOR_TEST_ENVIRONMENT}")
