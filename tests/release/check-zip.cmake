# Checks the Windows zip: one folder with the executable, its README, manual and licence,
# the text files with CR LF line ends only, the README for this version, and the
# executable as check-executable.cmake wants it.
#   cmake -DZIP=vmtally-1.0.0-win32.zip -DSCRATCH=dir -DVERSION=1.0.0 -DOBJDUMP=... -P check-zip.cmake
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ZIP} OUTPUT_VARIABLE listing
                RESULT_VARIABLE failed)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ZIP} WORKING_DIRECTORY ${SCRATCH})
if(failed)
  message(FATAL_ERROR "cannot read ${ZIP}")
endif()
set(folder vmtally-${VERSION}-win32)
set(expected "${folder}/\n${folder}/LICENSE.txt\n${folder}/MANUAL.txt\n${folder}/README.txt\n${folder}/vmtally.exe\n")
if(NOT listing STREQUAL expected)
  message(FATAL_ERROR "${ZIP} holds:\n${listing}\nnot:\n${expected}")
endif()

# The text files as bytes (file(READ) would turn CR LF into LF), in hexadecimal; in text
# that is plain ASCII, as Notepad reads it best, no 0a or 0d0a can straddle two bytes.
foreach(name LICENSE.txt MANUAL.txt README.txt)
  file(READ ${SCRATCH}/${folder}/${name} text HEX)
  if(text MATCHES "^(..)*[89a-f].")
    message(FATAL_ERROR "${name} is not plain ASCII")
  endif()
  string(REGEX MATCHALL "0a" ends "${text}")
  string(REGEX MATCHALL "0d0a" crlf "${text}")
  list(LENGTH ends lines)
  list(LENGTH crlf crlf_lines)
  if(lines EQUAL 0 OR NOT lines EQUAL crlf_lines)
    message(FATAL_ERROR "${name}: ${crlf_lines} of its ${lines} lines end in CR LF")
  endif()
endforeach()
file(READ ${SCRATCH}/${folder}/README.txt readme)
if(NOT readme MATCHES "^vmtally ${VERSION} - ")
  message(FATAL_ERROR "README.txt is not the one for version ${VERSION}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP}
                        -DEXECUTABLE=${SCRATCH}/${folder}/vmtally.exe
                        -P ${CMAKE_CURRENT_LIST_DIR}/../windows/check-executable.cmake
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "the executable in ${ZIP} fails its check")
endif()
message(STATUS "${ZIP}: the executable, README.txt, MANUAL.txt and LICENSE.txt, CR LF")
