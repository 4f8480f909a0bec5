# `cmake --install` of this very build tree into a staging folder, checked as
# an outside project sees it (tests/install/check-install.sh).
add_test(NAME install_tree
         COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/check-install.sh
                 ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR} ${CMAKE_INSTALL_PREFIX}
                 ${PROJECT_VERSION} ${QOR_HTTP} "https://${QOR_CONFIG_HOST}/gfx/qor-config.cfg")
set_tests_properties(install_tree PROPERTIES
  ENVIRONMENT "${QOR_TEST_ENVIRONMENT}" SKIP_RETURN_CODE 77 TIMEOUT 300)
