cmake_minimum_required(VERSION 3.25)
# The release archive as a user meets it: built by the package target, it
# holds the module, the test host, the README, the licence and the
# third-party notices, and once unpacked into a fresh folder, that copy of
# the module declares the project's version and exports the demo under Wine.
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
if(NOT listing STREQUAL "LICENSE;README.txt;THIRD-PARTY-NOTICES.txt;vorlane-host.exe;vorlane.dll")
  message(FATAL_ERROR "the archive holds [${listing}]")
endif()

expect_no_pe_stamp(${WORK}/vorlane.dll)
expect_no_pe_stamp(${WORK}/vorlane-host.exe)
expect_entries_at_commit_time(${PACKAGE} ${SOURCE_DIR} ${PYTHON})

function(run_unpacked)
  execute_process(COMMAND sh ${SESSION} -- ${WORK}/vorlane-host.exe ${ARGN}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  set(out "${out}" PARENT_SCOPE)
  set(err "${err}" PARENT_SCOPE)
  list(JOIN ARGN " " args)
  message(STATUS "vorlane-host.exe ${args}:\n${out}${err}")
endfunction()

run_unpacked(--version -m Z:${WORK}/vorlane.dll)
string(REGEX MATCH "^vorlane-host ([^\n]*)\n[^\n]*vorlane.dll: Vorlane ([^\n]*)\n" _ "${out}")
if(NOT CMAKE_MATCH_1 STREQUAL VERSION OR NOT CMAKE_MATCH_2 STREQUAL VERSION)
  message(FATAL_ERROR "want vorlane-host ${VERSION} and a module of Vorlane ${VERSION}")
endif()

run_unpacked(-W 64 -H 36 -n 12 -m Z:${WORK}/vorlane.dll -o Z:${WORK}/demo.png)
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
message(STATUS "${PACKAGE}: ${listing}; ${decoded}")
