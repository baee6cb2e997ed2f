# Windows tests, all run under Wine: the tool started with exact command lines against a
# Windows fixture target, and the executable's own header, imports and resources.

add_executable(fixture_target ${CMAKE_CURRENT_LIST_DIR}/fixture_target.cc)
target_link_libraries(fixture_target PRIVATE vmtally_warnings)

string(REPLACE "/" "\\\\" build_directory "Z:${CMAKE_BINARY_DIR}")
vmtally_add_gtest(e2e_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/e2e_test.cc ${CMAKE_CURRENT_LIST_DIR}/process.cc
  LIBRARIES vmtally_options version)
target_compile_definitions(e2e_tests PRIVATE VMTALLY_BUILD_DIRECTORY="${build_directory}"
                                             VMTALLY_COPYRIGHT="${VMTALLY_COPYRIGHT}"
                                             VMTALLY_DESCRIPTION="${PROJECT_DESCRIPTION}")
add_dependencies(e2e_tests vmtally fixture_target)

find_program(MINGW_OBJDUMP i686-w64-mingw32-objdump REQUIRED)
add_test(NAME WindowsExecutable.Header
         COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${MINGW_OBJDUMP} -DEXECUTABLE=$<TARGET_FILE:vmtally>
                 -P ${CMAKE_CURRENT_LIST_DIR}/check-executable.cmake)

add_test(NAME Demo.Report
         COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                 -DPLATFORM=windows -P ${CMAKE_CURRENT_LIST_DIR}/../check-demo.cmake)
