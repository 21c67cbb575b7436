# Run at every build: writes OUTPUT, a header naming the commit the sources
# come from, and whether the tree had uncommitted changes, for --version and
# the module's version resource. The file is rewritten only when that
# changes, so an unchanged tree rebuilds nothing, and two builds of one clean
# commit carry the same bytes.
# Needs SOURCE_DIR, OUTPUT, VERSION.
find_program(git_program git)
set(commit "")
if(git_program)
  execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
                  OUTPUT_VARIABLE commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0 OR NOT commit MATCHES "^[0-9a-f]+$")
    set(commit "")
  endif()
endif()
if(commit)
  # Tracked files only: the build folder and other untracked files do not
  # make a build differ from its commit.
  execute_process(COMMAND ${git_program} -C ${SOURCE_DIR} status --porcelain --untracked-files=no
                  OUTPUT_VARIABLE changes ERROR_QUIET)
  if(changes STREQUAL "")
    set(text "${VERSION} (commit ${commit})")
  else()
    set(text "${VERSION} (commit ${commit}, with uncommitted changes)")
  endif()
else()
  set(commit "unknown")
  set(text "${VERSION} (no commit: not built from a git checkout)")
endif()

set(content "// Made by cmake/commit_info.cmake at build time.
#define VORLANE_COMMIT \"${commit}\"
#define VORLANE_VERSION_TEXT \"${text}\"
")
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} old)
endif()
if(NOT old STREQUAL content)
  file(WRITE ${OUTPUT} "${content}")
endif()
