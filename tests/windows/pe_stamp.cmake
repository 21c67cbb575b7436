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
