# The download tests serve HTTP(S) from a GIO server of their own. The cases
# that need the test certificate authority trusted run again inside a
# private namespace where it is.
target_sources(http_download_test PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/support/http_test_server.cpp)
target_compile_definitions(http_download_test PRIVATE
  QOR_TEST_SUPPORT_DIR="${CMAKE_CURRENT_SOURCE_DIR}/support")

add_test(NAME http_download_trusted
  COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/support/with-trusted-ca
          $<TARGET_FILE:http_download_test> --gtest_filter=HttpsTrustedTest.*)
set_tests_properties(http_download_trusted PROPERTIES
  ENVIRONMENT "${QOR_TEST_ENVIRONMENT}" SKIP_RETURN_CODE 77 TIMEOUT 120)
