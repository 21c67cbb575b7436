# Run by CPack just before it packs the staged files (and by
# test_bundle.cmake): CMake's archive writer then gives every entry the last
# commit's time, so that packages of one commit are the same however late
# they are built. A ZIP keeps DOS times in local time, so the packing runs in
# UTC wherever it happens.
find_program(git_program git)
if(git_program)
  execute_process(COMMAND ${git_program} -C ${CPACK_VORLANE_SOURCE_DIR} log -1 --format=%ct
                  OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
if(NOT commit_time MATCHES "^[0-9]+$")
  message(WARNING "no commit time (not a git checkout, or no git): the package's entries keep the build's times")
  unset(ENV{SOURCE_DATE_EPOCH})
  return()
endif()
set(ENV{SOURCE_DATE_EPOCH} ${commit_time})
set(ENV{TZ} UTC)
