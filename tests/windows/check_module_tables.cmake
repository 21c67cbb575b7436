cmake_minimum_required(VERSION 3.25)
# The module must run on a bare Windows and show the host one entry point:
# it imports only system DLLs and exports exactly GetOutputPluginTable, and
# it has no TLS directory. No link time is stamped into it, so that every
# build of one commit gives the same file. And the programs we ship (PROGRAMS)
# import only KnownDLLs, which the loader takes from System32 alone: any
# other DLL it looks for first in the program's own folder, where whoever
# could drop a file there (a browser's downloads, say) may have left one.
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

# KnownDLLs on every Windows from 7 to 11 (the registry's Session Manager\KnownDLLs).
set(known_dlls advapi32.dll comdlg32.dll gdi32.dll imm32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
               psapi.dll rpcrt4.dll sechost.dll shell32.dll shlwapi.dll user32.dll ws2_32.dll)
foreach(program IN LISTS PROGRAMS)
  execute_process(COMMAND ${OBJDUMP} -p ${program} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "objdump failed on ${program}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
  list(TRANSFORM imports REPLACE "DLL Name: " "")
  list(TRANSFORM imports STRIP)
  list(TRANSFORM imports TOLOWER)
  foreach(dll IN LISTS imports)
    if(NOT dll IN_LIST known_dlls)
      get_filename_component(name ${program} NAME)
      message(FATAL_ERROR "${name} imports ${dll}, which is no KnownDLL: load it at run time from System32")
    endif()
  endforeach()
  get_filename_component(name ${program} NAME)
  message(STATUS "${name} imports: ${imports}")
endforeach()
