# Checks that the manual page renders without a single warning from groff and mandoc.
#   cmake -DPAGE=vmtally.1 -P check-manpage.cmake
foreach(check "groff;-man;-ww;-z" "mandoc;-Tlint;-Wall")
  list(POP_FRONT check program)
  find_program(${program}_path ${program} REQUIRED)
  execute_process(COMMAND ${${program}_path} ${check} ${PAGE} OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT out STREQUAL "")
    message(FATAL_ERROR "${program} on ${PAGE}:\n${out}")
  endif()
endforeach()
message(STATUS "groff and mandoc render ${PAGE} cleanly")
