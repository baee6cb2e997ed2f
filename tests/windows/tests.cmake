# Windows tests, all run under Wine: the tool started with exact command lines against a
# Windows fixture target, and the executable's own header and imports.

add_executable(fixture_target ${CMAKE_CURRENT_LIST_DIR}/fixture_target.cc)
target_compile_options(fixture_target PRIVATE -Wall -Wextra -Wpedantic)

string(REPLACE "/" "\\\\" build_directory "Z:${CMAKE_BINARY_DIR}")
add_executable(e2e_tests ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cc ${CMAKE_CURRENT_LIST_DIR}/process.cc)
target_link_libraries(e2e_tests PRIVATE vmtally_options GTest::gtest_main)
target_compile_definitions(e2e_tests PRIVATE VMTALLY_BUILD_DIRECTORY="${build_directory}")
add_dependencies(e2e_tests vmtally fixture_target)
gtest_discover_tests(e2e_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

find_program(MINGW_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
add_test(NAME WindowsExecutable.Header
         COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DEXECUTABLE=$<TARGET_FILE:vmtally>
                 -P ${CMAKE_CURRENT_LIST_DIR}/check-executable.cmake)

# The demo under Wine, and the zip of the executable with its README.
add_test(NAME Demo.Report
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DPLATFORM=windows -P ${CMAKE_CURRENT_LIST_DIR}/../check-demo.cmake)
add_test(NAME Package.Zip
         COMMAND sh -c "cd \"$0\" && cpack -G ZIP >/dev/null && cmake -E tar tf vmtally-*-win32.zip | \
sort | tee /dev/stderr | grep -c -E '/(vmtally\\.exe|README\\.md|vmtally\\.1)$' | grep -qx 3"
                 ${CMAKE_BINARY_DIR})
