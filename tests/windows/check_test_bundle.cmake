cmake_minimum_required(VERSION 3.25)
# The test bundle needs nothing but Windows. Made by the test_bundle target,
# unpacked onto drive C: of a fresh Wine prefix whose drive Z: (Wine's view of
# the Linux file system) is gone, its one command must pass every program and
# count them; with a module that writes wrong pixels in place of the real
# one, it must fail and name the failing program. Like the package, the
# bundle carries no link time and every entry carries the commit's time.
# Needs BUILD_DIR, SOURCE_DIR, BUNDLE, WRONG_PIXELS, WORK, SESSION, PYTHON;
# VORLANE_WINE and VORLANE_XVFB come from the environment.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target test_bundle
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${BUNDLE})
  message(FATAL_ERROR "the test_bundle target made no ${BUNDLE}:\n${out}")
endif()

set(checks windows_export_test.exe windows_converter_test.exe windows_bad_request_test.exe
           windows_fault_sweep_test.exe windows_dialog_test.exe vorlane-host.exe vorlane-host.exe)
list(LENGTH checks check_count)

file(REMOVE_RECURSE ${WORK})
set(unpacked ${WORK}/unpacked)
include(${CMAKE_CURRENT_LIST_DIR}/archive_checks.cmake)
unpack_archive(${BUNDLE} ${unpacked} listing)
set(want LICENSE THIRD-PARTY-NOTICES.txt run-tests.exe vorlane-host.exe vorlane.dll windows_bad_request_test.exe
         windows_converter_test.exe windows_dialog_test.exe windows_export_test.exe windows_fault_sweep_test.exe)
if(NOT listing STREQUAL want)
  message(FATAL_ERROR "the bundle holds [${listing}], want [${want}]")
endif()

file(GLOB binaries ${unpacked}/*.exe ${unpacked}/*.dll)
foreach(binary ${binaries})
  expect_no_pe_stamp(${binary})
endforeach()
expect_entries_at_commit_time(${BUNDLE} ${SOURCE_DIR} ${PYTHON})

# A prefix of its own, sealed: Wine reads its drives when its server starts,
# and the session script ends the server before every program.
set(ENV{WINEPREFIX} ${WORK}/prefix)
execute_process(COMMAND sh ${SESSION} --create-prefix RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot create a Wine prefix in ${WORK}/prefix")
endif()
file(REMOVE $ENV{WINEPREFIX}/dosdevices/z:)
if(EXISTS $ENV{WINEPREFIX}/dosdevices/z: OR IS_SYMLINK $ENV{WINEPREFIX}/dosdevices/z:)
  message(FATAL_ERROR "drive Z: is still there")
endif()
set(bundle_on_c $ENV{WINEPREFIX}/drive_c/vorlane-tests)
file(COPY ${unpacked}/ DESTINATION ${bundle_on_c})

function(run_bundle)
  execute_process(COMMAND sh ${SESSION} --xvfb -- cmd /c "cd /d C:\\vorlane-tests && run-tests.exe"
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  set(out "${out}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
  message(STATUS "run-tests.exe (exit status ${rc}):\n${out}${err}")
endfunction()

run_bundle()
if(NOT rc EQUAL 0 OR NOT out MATCHES "\n${check_count} passed, 0 failed\r?\n$")
  message(FATAL_ERROR "the bundle did not pass all ${check_count} programs on a sealed drive C:")
endif()
foreach(check ${checks})
  if(NOT out MATCHES "\n  passed  ${check} ")
    message(FATAL_ERROR "no verdict that ${check} passed")
  endif()
endforeach()
if(EXISTS $ENV{WINEPREFIX}/drive_c/temp)
  message(FATAL_ERROR "the bundle left C:\\temp behind")
endif()
file(GLOB left_over $ENV{WINEPREFIX}/drive_c/users/*/Temp/vorlane-*)
if(left_over)
  message(FATAL_ERROR "the bundle left scratch files behind: ${left_over}")
endif()

# The same command with a broken module must say so.
file(COPY_FILE ${WRONG_PIXELS} ${bundle_on_c}/vorlane.dll)
run_bundle()
if(rc EQUAL 0 OR NOT out MATCHES "\n  FAILED  windows_export_test.exe " OR NOT out MATCHES "[1-9][0-9]* failed\r?\n$")
  message(FATAL_ERROR "with a module that writes wrong pixels, the bundle did not fail and name windows_export_test.exe")
endif()

file(REMOVE_RECURSE ${WORK})
message(STATUS "${BUNDLE}: ${check_count} programs passed on a drive C: of their own, and a wrong module failed")
