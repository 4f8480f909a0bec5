# The process-wide loader fetches the fixed configuration URL: its case runs
# again in a private namespace where that host is 127.0.0.1 and a test
# certificate authority is trusted for it.
target_sources(loader_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support/http_test_server.cpp)

add_test(NAME loader_process_wide
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-trusted-ca --host ${QOR_CONFIG_HOST}
          $<TARGET_FILE:loader_test> --gtest_filter=LoaderProcessWideTest.*)
set_tests_properties(loader_process_wide PROPERTIES
  ENVIRONMENT "${QOR_TEST_ENVIRONMENT}" SKIP_RETURN_CODE 77 TIMEOUT 120)
