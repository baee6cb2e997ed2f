# Checks the header of the executable as it ships: a 32-bit console program that is not
# large-address aware, with address space layout randomisation, no execution from data
# and terminal-server awareness, a subsystem version no older than its imports allow,
# version information and a manifest, no debug sections, and imports from system DLLs
# only.
#   cmake -DOBJDUMP=i686-w64-mingw32-objdump -DEXECUTABLE=vmtally.exe -P check-executable.cmake
execute_process(COMMAND ${OBJDUMP} -p -h ${EXECUTABLE} OUTPUT_VARIABLE headers
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "objdump could not read ${EXECUTABLE}")
endif()

function(fail message)
  message(FATAL_ERROR "${EXECUTABLE}: ${message}")
endfunction()

# header_field(NAME VARIABLE): the hexadecimal value of a header field, as a number.
function(header_field name variable)
  if(NOT headers MATCHES "\n${name}[ \t]+(0x)?([0-9a-fA-F]+)")
    fail("no ${name} in the header")
  endif()
  math(EXPR value "0x${CMAKE_MATCH_2}")
  set(${variable} ${value} PARENT_SCOPE)
endfunction()

if(NOT headers MATCHES "file format pei-i386")
  fail("not an i386 executable")
endif()
header_field(Subsystem subsystem)
if(NOT subsystem EQUAL 3)
  fail("not a console program")
endif()

header_field(Characteristics characteristics)
math(EXPR large_address_aware "${characteristics} & 0x20")
if(NOT large_address_aware EQUAL 0)
  fail("large-address aware")
endif()

header_field(DllCharacteristics dll)
foreach(flag "0x40;DYNAMIC_BASE" "0x100;NX_COMPAT" "0x8000;TERMINAL_SERVER_AWARE")
  list(GET flag 0 bit)
  list(GET flag 1 name)
  math(EXPR set "${dll} & ${bit}")
  if(set EQUAL 0)
    fail("${name} is not set")
  endif()
endforeach()
if(NOT headers MATCHES "\n +[0-9]+ \\.reloc ")
  fail("no relocations, so no address space layout randomisation")
endif()

# The oldest Windows that has every call it imports: the calls below came with Vista.
string(REGEX MATCHALL "\n\t[0-9a-f]+[ \t]+[0-9]+[ \t]+[A-Za-z0-9_]+" entries "${headers}")
set(needs 4.0)
foreach(entry IN LISTS entries)
  string(REGEX REPLACE ".*[ \t]" "" function "${entry}")
  if(function MATCHES "^(GetTickCount64|InitializeSRWLock|(Acquire|Release)SRWLock.*|.*ConditionVariable.*|InitOnce.*|Create(Event|Mutex|Semaphore)Ex[AW]|GetFileInformationByHandleEx|QueryFullProcessImageName[AW])$")
    set(needs 6.0)
    set(because "${function}, which came with Vista")
  endif()
endforeach()
header_field(MajorSubsystemVersion major)
header_field(MinorSubsystemVersion minor)
header_field(MajorOSystemVersion os_major)
header_field(MinorOSystemVersion os_minor)
set(version ${major}.${minor})
if(NOT version VERSION_EQUAL ${os_major}.${os_minor})
  fail("subsystem version ${version}, system version ${os_major}.${os_minor}")
endif()
if(version VERSION_LESS needs)
  fail("subsystem version ${version}, yet it imports ${because}")
endif()
if(NOT version VERSION_EQUAL 6.0)
  fail("subsystem version ${version}, not Vista's 6.0")
endif()

# Version information (type 16) and a manifest (type 24) among the resources; the Windows
# end-to-end tests read what they say.
foreach(type "10;version information" "18;manifest")
  list(GET type 0 id)
  list(GET type 1 name)
  if(NOT headers MATCHES "\n[0-9a-f]+   Entry: ID: 0x0000${id},")
    fail("no ${name} among its resources")
  endif()
endforeach()

string(REGEX MATCHALL "\n +[0-9]+ \\.debug[a-z_]*" debug "${headers}")
if(debug)
  fail("debug sections:${debug}")
endif()

# The stack protector takes its canary from ADVAPI32's random numbers.
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${headers}")
foreach(import IN LISTS imports)
  string(REPLACE "DLL Name: " "" dll "${import}")
  string(TOLOWER "${dll}" dll)
  if(NOT dll MATCHES "^(kernel32|msvcrt|advapi32)\\.dll$")
    fail("imports ${dll}, which is no system DLL")
  endif()
endforeach()
message(STATUS "i386 console program for Windows ${version}, not large-address aware, ASLR, "
               "NX, terminal-server aware, described, no debug sections, imports: ${imports}")
