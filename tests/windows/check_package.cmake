cmake_minimum_required(VERSION 3.25)
# The release archive as a user meets it: built by the package target, it
# holds the module, the test host, the README, the licence and the
# third-party notices, and once unpacked into a fresh folder, that copy of
# the module declares the project's version and commit and exports the demo
# under Wine, to file names and from folders a Japanese user has. The host
# says what went wrong, in words, when a request cannot give a good file.
# Two packages of one commit are the same: no link time in the binaries,
# and every entry at the commit's time, not the clock's.
# Needs BUILD_DIR, SOURCE_DIR, PACKAGE, VERSION, WORK, SESSION, PYTHON; the
# Wine variables come from the environment.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target package
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "the package target failed:\n${out}")
endif()
if(NOT EXISTS ${PACKAGE})
  message(FATAL_ERROR "the package target made no ${PACKAGE}")
endif()

include(${CMAKE_CURRENT_LIST_DIR}/archive_checks.cmake)
unpack_archive(${PACKAGE} ${WORK} listing)
if(NOT listing STREQUAL "LICENSE.txt;README.txt;THIRD-PARTY-NOTICES.txt;vorlane-host.exe;vorlane.dll")
  message(FATAL_ERROR "the archive holds [${listing}]")
endif()
expect_windows_text(${WORK}/README.txt BOM)
expect_windows_text(${WORK}/LICENSE.txt)

expect_no_pe_stamp(${WORK}/vorlane.dll)
expect_no_pe_stamp(${WORK}/vorlane-host.exe)
expect_entries_at_commit_time(${PACKAGE} ${SOURCE_DIR} ${PYTHON})

# Runs the unpacked host (or PROGRAM) in WORK; `out`, `err` and `rc` come back.
function(run_unpacked)
  cmake_parse_arguments(arg "" "PROGRAM" "" ${ARGN})
  if(NOT arg_PROGRAM)
    set(arg_PROGRAM ${WORK}/vorlane-host.exe)
  endif()
  execute_process(COMMAND sh ${SESSION} -- ${arg_PROGRAM} ${arg_UNPARSED_ARGUMENTS} WORKING_DIRECTORY ${WORK}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  # Windows programs end their lines with CRLF.
  string(REPLACE "\r" "" out "${out}")
  string(REPLACE "\r" "" err "${err}")
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
  list(JOIN arg_UNPARSED_ARGUMENTS " " args)
  message(STATUS "vorlane-host.exe ${args} (exit status ${rc}):\n${out}${err}")
endfunction()

# The version and the commit, the same for the program and the module, and
# the commit is the checkout's (with a note when the tree has changes).
execute_process(COMMAND git -C ${SOURCE_DIR} rev-parse --short=12 HEAD OUTPUT_VARIABLE commit
                OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT commit MATCHES "^[0-9a-f]+$")
  set(commit "[0-9a-f]+")  # not a checkout: any commit line
endif()
run_unpacked(--version -m vorlane.dll)
string(REGEX MATCH "^vorlane-host ([^\n]*)\nvorlane.dll: Vorlane ([^\n]*)\n" _ "${out}")
set(program_version "${CMAKE_MATCH_1}")
set(module_version "${CMAKE_MATCH_2}")
if(NOT program_version MATCHES "^${VERSION} \\(commit ${commit}(, with uncommitted changes)?\\)$" OR
   NOT module_version STREQUAL program_version)
  message(FATAL_ERROR "want vorlane-host and a module of Vorlane ${VERSION} (commit ${commit})")
endif()

# A user's file names, exactly as given, and a folder of a Japanese name: the
# program finds its module beside itself.
file(MAKE_DIRECTORY ${WORK}/フォルダ)
file(COPY ${WORK}/vorlane-host.exe ${WORK}/vorlane.dll DESTINATION ${WORK}/フォルダ)
run_unpacked(-q -W 16 -H 8 -n 2 -o ステッカー.png PROGRAM ${WORK}/フォルダ/vorlane-host.exe)
run_unpacked(-q -W 16 -H 8 -n 2 -o café.png)
file(GLOB made RELATIVE ${WORK} ${WORK}/*.png ${WORK}/フォルダ/*)
list(SORT made)
if(NOT made STREQUAL "café.png;ステッカー.png;フォルダ/vorlane-host.exe;フォルダ/vorlane.dll")
  message(FATAL_ERROR "the exports made [${made}], want café.png and ステッカー.png")
endif()

run_unpacked(-W 64 -H 36 -n 12 -o demo.png)
if(NOT out MATCHES "^exported: [^\n]*, 12 frames")
  message(FATAL_ERROR "the unpacked module did not export the demo")
endif()
# Not a console: the result line alone, no progress bar redrawn into the log.
if(err MATCHES "#")
  message(FATAL_ERROR "a progress bar went to a standard error that is no console:\n${err}")
endif()
# Read by a decoder of nobody here.
execute_process(COMMAND ${PYTHON} -c
  "import sys; from PIL import Image; im = Image.open(sys.argv[1]); print(im.format, im.size, im.n_frames)"
  ${WORK}/demo.png OUTPUT_VARIABLE decoded RESULT_VARIABLE rc)
string(STRIP "${decoded}" decoded)
if(NOT rc EQUAL 0 OR NOT decoded STREQUAL "PNG (64, 36) 12")
  message(FATAL_ERROR "Pillow reads the export as [${decoded}], want PNG (64, 36) 12")
endif()

# What the host says when a request goes wrong: the exit status, then a
# pattern its output must hold. The system's reasons are in the user's
# language, so only their presence is checked.
function(expect_host want_rc pattern)
  run_unpacked(${ARGN})
  if(NOT rc EQUAL want_rc OR NOT "${out}${err}" MATCHES "${pattern}")
    message(FATAL_ERROR "vorlane-host.exe ${ARGN}: want exit status ${want_rc} and output matching [${pattern}]")
  endif()
endfunction()
set(retry "\nRun vorlane-host --help for the options.\n$")
expect_host(2 "^vorlane-host: unknown option \"--bogus\"${retry}" --bogus)
expect_host(2 "^vorlane-host: -W wants a whole number, not \"abc\"${retry}" -W abc)
expect_host(2 "^vorlane-host: -r wants a frame rate in whole numbers[^\n]*, not \"24.5\"${retry}" -r 24.5)
expect_host(2 "^vorlane-host: -o wants a file path after it${retry}" -o)
expect_host(0 "^usage: vorlane-host " --help)
# Frames of exactly 11 ms (-r 1000/11) are the shortest that Chromium and
# Firefox show as they are; 11/1001 s they show for 100 ms, and the note says so.
expect_host(0 "^exported: none.png, 0 frames, 40 bytes, no image[^\n]*\nnote: -n 0 asks for no frames: the file will hold no image[^\n]*success\n$"
            -q -n 0 -r 1000/11 -o none.png)
expect_host(0 "note: -r 30/0 is no positive frame rate: the plugin will give every frame a delay of 0/30 s"
            -q -W 8 -H 8 -n 2 -r 30/0 -o rate.png)
expect_host(1 "^FAILED: nosuchdir.out.png, 0 frames, nothing written\nvorlane-host: the plugin could not create nosuchdir.out.png: [^\n]*[^0-9\n]\n$"
            -q -W 8 -H 8 -n 2 -o nosuchdir\\out.png)
file(WRITE ${WORK}/old.png "an old file of 28 bytes here")
expect_host(1 "^FAILED: old.png, 1 frame fetched; written before the failure: 40 bytes, no image\nnote: a frame of 0 x 8[^\n]*\nnote: at 1001/11 frames per second every frame lasts less than 11 ms, which Chromium and Firefox show for 100 ms"
            -q -W 0 -H 8 -n 2 -r 1001/11 -o old.png)
expect_host(2 "^vorlane-host: cannot load nosuch.dll: not found: [^\n]+\n$" -m nosuch.dll)
expect_host(2 "^vorlane-host: cannot load LICENSE.txt: not a 64-bit Windows module: [^\n]+\n$" -m LICENSE.txt)
expect_host(2 "^vorlane-host: cannot load [^\n]*version.dll: not a plugin: it exports no GetOutputPluginTable \\([^\n]+\\)\n$"
            -m C:\\windows\\system32\\version.dll)
expect_host(1 "\nnosuch.dll: not found: [^\n]+\n$" --version -m nosuch.dll)
# A host that loads and unloads the module for every export loses nothing:
# the C++ runtime's emergency buffer (73 KiB) goes back at every unload.
expect_host(0 "\nno growth over 4 exports\n$"
            -q -W 16 -H 8 -n 3 --repeat 4 --reload-module --fail-on-growth --memory-tolerance 16384 -o reload.png)
if(EXISTS ${WORK}/nosuchdir OR EXISTS ${WORK}/nosuch.dll)
  message(FATAL_ERROR "a failed request left something behind")
endif()
message(STATUS "${PACKAGE}: ${listing}; ${decoded}")
