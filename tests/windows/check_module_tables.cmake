cmake_minimum_required(VERSION 3.25)
# The module must run on a bare Windows and show the host one entry point:
# it imports only system DLLs and exports exactly GetOutputPluginTable, and
# it has no TLS directory. No link time is stamped into it, so that every
# build of one commit gives the same file.
execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${MODULE}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls advapi32.dll gdiplus.dll kernel32.dll msvcrt.dll ole32.dll user32.dll)
set(seen "")
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  list(APPEND seen ${dll})
  if(NOT dll IN_LIST system_dlls)
    message(FATAL_ERROR "imports ${dll}, which is not a Windows system DLL")
  endif()
endforeach()
foreach(needed gdiplus.dll kernel32.dll ole32.dll user32.dll)
  if(NOT needed IN_LIST seen)
    message(FATAL_ERROR "does not import ${needed}: imports are ${seen}")
  endif()
endforeach()

# The name table follows the "[Ordinal/Name Pointer] Table" heading.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(([ \t]+\\[[ 0-9]+\\][^\n]*\n)*)" _ "${dump}")
string(REGEX MATCHALL "\\][ \t]+[^ \t\n]+" names "${CMAKE_MATCH_1}")
list(TRANSFORM names REPLACE "^\\][ \t]+" "")
if(NOT names STREQUAL "GetOutputPluginTable")
  message(FATAL_ERROR "exports [${names}], want exactly GetOutputPluginTable")
endif()
string(REGEX MATCH "Export Address Table[ \t]+0*([0-9a-fA-F]+)\n" _ "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL "1")
  message(FATAL_ERROR "export address table holds ${CMAKE_MATCH_1} entries, want 1")
endif()

# Nothing of the module's runs when a host thread starts or ends: no TLS
# directory, whose callbacks the loader would call then.
string(REGEX MATCH "Entry 9 ([0-9a-fA-F]+) ([0-9a-fA-F]+)[ \t]+Thread Storage Directory" found "${dump}")
if(NOT found)
  message(FATAL_ERROR "objdump shows no data directory entry for TLS")
endif()
set(tls_rva ${CMAKE_MATCH_1})
set(tls_size ${CMAKE_MATCH_2})
if(NOT tls_rva MATCHES "^0+$" OR NOT tls_size MATCHES "^0+$")
  message(FATAL_ERROR "has a TLS directory (RVA ${tls_rva}, size ${tls_size})")
endif()
include(${CMAKE_CURRENT_LIST_DIR}/archive_checks.cmake)
expect_no_pe_stamp(${MODULE})
string(REGEX MATCH "Time/Date stamp[ \t]+([0-9a-fA-F]+)\n" _ "${dump}")
if(NOT CMAKE_MATCH_1 STREQUAL "0")
  message(FATAL_ERROR "the export directory carries a link time (${CMAKE_MATCH_1}): two builds would differ")
endif()

message(STATUS "imports: ${seen}; exports: ${names}; no TLS directory; no link time")
