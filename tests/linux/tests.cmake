# Tests of the Linux system layer, and the built tool against real processes.

add_executable(platform_tests ${PROJECT_SOURCE_DIR}/platform/maps-linux_test.cc)
target_link_libraries(platform_tests PRIVATE vmtally_platform GTest::gtest_main)
gtest_discover_tests(platform_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

# The target is a plain PIE program, so that nothing of its own lies below 2 GiB.
add_executable(fixture_target ${CMAKE_CURRENT_LIST_DIR}/fixture_target.cc)
target_compile_options(fixture_target PRIVATE -Wall -Wextra -Wpedantic -fPIE)
target_link_options(fixture_target PRIVATE -pie)

add_executable(e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cc
  ${CMAKE_CURRENT_LIST_DIR}/process.cc
)
target_link_libraries(e2e_tests PRIVATE vmtally_options GTest::gtest_main)
target_compile_definitions(e2e_tests PRIVATE
  VMTALLY_PATH="$<TARGET_FILE:vmtally>"
  FIXTURE_PATH="$<TARGET_FILE:fixture_target>"
  FIXTURE_DIRECTORY="${CMAKE_CURRENT_BINARY_DIR}"
)
add_dependencies(e2e_tests vmtally fixture_target)
gtest_discover_tests(e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

# A newcomer's first minutes: the demo, the manual page and the package.
add_test(NAME Demo.Report
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -P ${CMAKE_CURRENT_LIST_DIR}/../check-demo.cmake)
add_test(NAME ManPage.Renders
         COMMAND sh -c "out=$(groff -man -ww -z \"$0\" 2>&1) && test -z \"$out\" || { echo \"$out\"; exit 1; }"
                 ${PROJECT_SOURCE_DIR}/doc/vmtally.1)
if(NOT VMTALLY_SANITIZE)
  add_test(NAME Package.DebInstallsAndRuns
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/package-test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(Package.DebInstallsAndRuns PROPERTIES RUN_SERIAL ON)
endif()
