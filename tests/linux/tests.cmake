# Tests of the Linux system layer, and the built tool against real processes.

vmtally_add_gtest(platform_tests
  SOURCES ${PROJECT_SOURCE_DIR}/platform/maps-linux_test.cc
  LIBRARIES vmtally_platform)

# The target maps its regions at fixed places below 2 GiB, where a sanitizer keeps its
# shadow memory: it takes the project's warnings but none of the sanitizers.
add_executable(fixture_target ${CMAKE_CURRENT_LIST_DIR}/fixture_target.cc)
target_link_libraries(fixture_target PRIVATE vmtally_warnings)

vmtally_add_gtest(e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cc ${CMAKE_CURRENT_LIST_DIR}/process.cc
  LIBRARIES vmtally_options)
target_compile_definitions(e2e_tests PRIVATE
  VMTALLY_PATH="$<TARGET_FILE:vmtally>"
  VMTALLY_SANITIZED=$<BOOL:${VMTALLY_SANITIZE}>
  FIXTURE_PATH="$<TARGET_FILE:fixture_target>"
  FIXTURE_DIRECTORY="${CMAKE_CURRENT_BINARY_DIR}"
  CROWD_PATH="$<TARGET_FILE:bench_target>"
)
add_dependencies(e2e_tests vmtally fixture_target bench_target)
# Run options are designated initializers that leave the rest to their defaults, which
# GCC 12 takes for forgotten members.
target_compile_options(e2e_tests PRIVATE -Wno-missing-field-initializers)

# A newcomer's first minutes: the demo, and the manual page, which renders without a
# warning from either formatter (one page for both builds, checked here).
add_test(NAME Demo.Report
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -P ${CMAKE_CURRENT_LIST_DIR}/../check-demo.cmake)
add_test(NAME ManPage.Renders
         COMMAND ${CMAKE_COMMAND} -DPAGE=${PROJECT_BINARY_DIR}/doc/vmtally.1
                 -P ${CMAKE_CURRENT_LIST_DIR}/../check-manpage.cmake)

# The release and the bare machine, once: not again under the sanitizers.
if(NOT VMTALLY_SANITIZE)
  include(${CMAKE_CURRENT_LIST_DIR}/../release/tests.cmake)
endif()
