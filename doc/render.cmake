# Renders the manual page as plain text with CR LF line ends, for Notepad.
#   cmake -DGROFF=groff -DPAGE=vmtally.1 -DTEXT=MANUAL.txt -P render.cmake
set(ENV{LC_ALL} C)
execute_process(COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-o -P-u ${PAGE}
                OUTPUT_VARIABLE text RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "groff could not render ${PAGE}")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${TEXT} "${text}")
