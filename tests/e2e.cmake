# End-to-end cases: the real qor-config-test, run as a user runs it, against a
# real HTTPS server in a private network and mount namespace (root needed;
# skipped where such namespaces cannot be made).
set(QOR_E2E_CASES success no-network no-section crlf fedora-fallback home-unset no-gtk)
foreach(case IN LISTS QOR_E2E_CASES)
  add_test(NAME e2e.${case}
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/cases.sh ${case}
            $<TARGET_FILE:qor-config-test> ${QOR_CONFIG_HOST})
  set_tests_properties(e2e.${case} PROPERTIES
    SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS e2e)
endforeach()
