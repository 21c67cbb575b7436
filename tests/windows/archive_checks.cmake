# What the release archives are held to, shared by check_package.cmake and
# check_test_bundle.cmake; check_module_tables.cmake uses the link-time check.

# A reproducible build stamps no link time into a PE file: the COFF
# header's TimeDateStamp stays zero.
function(expect_no_pe_stamp file)
  file(READ ${file} lfanew OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" lfanew "${lfanew}")  # little-endian
  math(EXPR stamp_at "0x${lfanew} + 8")
  file(READ ${file} stamp OFFSET ${stamp_at} LIMIT 4 HEX)
  if(NOT stamp STREQUAL "00000000")
    message(FATAL_ERROR "${file} carries a link time in its PE header (${stamp}): two builds would differ")
  endif()
endfunction()

# Unpacks `archive` into a fresh `folder`; `listing_var` gets its files' names, sorted.
function(unpack_archive archive folder listing_var)
  file(REMOVE_RECURSE ${folder})
  file(MAKE_DIRECTORY ${folder})
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archive} WORKING_DIRECTORY ${folder} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot unpack ${archive}")
  endif()
  file(GLOB_RECURSE listing RELATIVE ${folder} ${folder}/*)
  list(SORT listing)
  set(${listing_var} "${listing}" PARENT_SCOPE)
endfunction()

# Every entry of the ZIP carries the last commit's time, not the build's
# (outside a git checkout there is none to hold it to).
function(expect_entries_at_commit_time archive source_dir python)
  execute_process(COMMAND git -C ${source_dir} log -1 --format=%ct OUTPUT_VARIABLE commit_time
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(NOT commit_time MATCHES "^[0-9]+$")
    return()
  endif()
  # A ZIP keeps DOS times: local (packed in UTC), to the even second.
  execute_process(COMMAND ${python} -c [[
import sys, time, zipfile
t = time.gmtime(int(sys.argv[2]))
want = tuple(t[:5]) + (t[5] // 2 * 2,)
print(' '.join(i.filename for i in zipfile.ZipFile(sys.argv[1]).infolist() if i.date_time != want))
]] ${archive} ${commit_time} OUTPUT_VARIABLE off_time OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR off_time)
    message(FATAL_ERROR "entries of ${archive} not at the last commit's time: [${off_time}]")
  endif()
endfunction()

# A text file as Notepad on any Windows shows it: CRLF line ends, and with
# BOM a UTF-8 byte-order mark first, without which older Notepads take the
# Japanese in it for the ANSI code page.
function(expect_windows_text file)
  cmake_parse_arguments(arg "BOM" "" "" ${ARGN})
  file(READ ${file} head LIMIT 3 HEX)
  if(arg_BOM AND NOT head STREQUAL "efbbbf")
    message(FATAL_ERROR "${file} does not start with a UTF-8 byte-order mark")
  endif()
  # Read as text, a file loses its carriage returns: the bytes are read as hex
  # pairs: with every CRLF gone, no line feed may be left.
  file(READ ${file} hex HEX)
  string(REGEX REPLACE "(..)" "\\1 " pairs "${hex}")
  string(REPLACE "0d 0a " "" pairs "${pairs}")
  if(pairs MATCHES "(^| )0a ")
    message(FATAL_ERROR "${file} has a line end without a carriage return")
  endif()
endfunction()
