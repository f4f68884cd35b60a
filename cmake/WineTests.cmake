# Tests run under wine64 against servers on loopback. One fixture brings up
# the display, the Wine prefix and wineserver, nginx with the test portal and
# the fault-injecting server; another takes them down after the last test.

add_test(NAME env_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-env.sh start ${CMAKE_BINARY_DIR})
set_tests_properties(env_start PROPERTIES FIXTURES_SETUP vorla_env TIMEOUT 1800)
add_test(NAME env_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/test-env.sh stop ${CMAKE_BINARY_DIR})
set_tests_properties(env_stop PROPERTIES FIXTURES_CLEANUP vorla_env)

# vorla_add_wine_test(NAME <name> COMMAND <exe> [args...] [FIXTURES <f>...] [TIMEOUT <s>])
function(vorla_add_wine_test)
  cmake_parse_arguments(ARG "" "NAME;TIMEOUT" "COMMAND;FIXTURES" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  add_test(NAME ${ARG_NAME}
           COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh ${CMAKE_BINARY_DIR} ${ARG_COMMAND})
  set_tests_properties(${ARG_NAME} PROPERTIES
    FIXTURES_REQUIRED "vorla_env;${ARG_FIXTURES}"
    TIMEOUT ${ARG_TIMEOUT}
    # A test program that dies under Wine may still end with 0: it passes
    # only when GoogleTest says so at its very end.
    PASS_REGULAR_EXPRESSION "\\[  PASSED  \\] [0-9]+ test"
    FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]"
    ENVIRONMENT "VORLA_BUILD_DIR=${CMAKE_BINARY_DIR};VORLA_SOURCE_DIR=${CMAKE_SOURCE_DIR}")
endfunction()
