# Runs scripts/demo on a build and checks its report: Commit, Reserve and Free rows that
# are not empty, and a threshold line.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... [-DPLATFORM=windows] -P check-demo.cmake
set(ENV{VMTALLY_BUILD_DIR} ${BUILD_DIR})
execute_process(COMMAND ${SOURCE_DIR}/scripts/demo ${PLATFORM} OUTPUT_VARIABLE report
                ERROR_VARIABLE errors RESULT_VARIABLE failed TIMEOUT 120)
message("${report}${errors}")
if(failed)
  message(FATAL_ERROR "scripts/demo failed: ${failed}")
endif()
foreach(row Commit Reserve Free)
  if(NOT report MATCHES "\n${row} +[1-9][0-9]* +[1-9][0-9]* +[1-9][0-9]* +[1-9][0-9]* +[1-9]")
    message(FATAL_ERROR "the ${row} row is empty")
  endif()
endforeach()
if(NOT report MATCHES "\nFree block count > 1048576: [0-9]+")
  message(FATAL_ERROR "no threshold line at the end")
endif()
