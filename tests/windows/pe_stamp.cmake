# The time a PE file's header says it was linked, as the 8 hex digits stored
# (little-endian) at its COFF header; a reproducible build leaves zeros.
function(read_pe_stamp file out)
  file(READ ${file} lfanew OFFSET 60 LIMIT 4 HEX)
  string(REGEX REPLACE "(..)(..)(..)(..)" "\\4\\3\\2\\1" lfanew "${lfanew}")
  math(EXPR stamp_at "0x${lfanew} + 8")
  file(READ ${file} stamp OFFSET ${stamp_at} LIMIT 4 HEX)
  set(${out} ${stamp} PARENT_SCOPE)
endfunction()

function(expect_no_pe_stamp file)
  read_pe_stamp(${file} stamp)
  if(NOT stamp STREQUAL "00000000")
    message(FATAL_ERROR "${file} carries a link time in its PE header (${stamp}): two builds would differ")
  endif()
endfunction()
