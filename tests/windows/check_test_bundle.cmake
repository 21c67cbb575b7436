cmake_minimum_required(VERSION 3.25)
# The test bundle needs nothing but Windows. Made by the test_bundle target,
# unpacked onto drive C: of a fresh Wine prefix whose drive Z: (Wine's view of
# the Linux file system) is gone, into a folder named as a user's downloads
# are (spaces, Latin and Japanese letters), on a Windows set up for Japanese,
# its one command must pass every program, count them and their test cases,
# and leave results.txt with a report on the system and a demo export beside
# itself. With a module that writes wrong pixels in place of the real one,
# it must fail and name the failing program; with one whose dialog has lost
# its check box, the dialog test must fail within seconds rather than hang.
# Like the package, the bundle carries no link time and every entry carries
# the commit's time.
# Needs BUILD_DIR, SOURCE_DIR, BUNDLE, WRONG_PIXELS, WRONG_DIALOG, WORK,
# SESSION, PYTHON; VORLANE_WINE and VORLANE_XVFB come from the environment.
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target test_bundle
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0 OR NOT EXISTS ${BUNDLE})
  message(FATAL_ERROR "the test_bundle target made no ${BUNDLE}:\n${out}")
endif()

set(checks windows_export_test.exe windows_converter_test.exe
           windows_fault_sweep_test.exe windows_dialog_test.exe vorlane-host.exe vorlane-host.exe vorlane-host.exe)
list(LENGTH checks check_count)

file(REMOVE_RECURSE ${WORK})
set(unpacked ${WORK}/unpacked)
include(${CMAKE_CURRENT_LIST_DIR}/archive_checks.cmake)
unpack_archive(${BUNDLE} ${unpacked} listing)
set(want LICENSE.txt README.txt THIRD-PARTY-NOTICES.txt export_bench.exe run-tests.exe vorlane-host.exe vorlane.dll
         windows_converter_test.exe windows_dialog_test.exe windows_export_test.exe
         windows_fault_sweep_test.exe)
if(NOT listing STREQUAL want)
  message(FATAL_ERROR "the bundle holds [${listing}], want [${want}]")
endif()
expect_windows_text(${unpacked}/README.txt BOM)

file(GLOB binaries ${unpacked}/*.exe ${unpacked}/*.dll)
foreach(binary ${binaries})
  expect_no_pe_stamp(${binary})
endforeach()
expect_entries_at_commit_time(${BUNDLE} ${SOURCE_DIR} ${PYTHON})

# A prefix of its own, sealed: Wine reads its drives when its server starts,
# and the session script ends the server before every program. Japanese
# code pages and messages, as most of the plugin's users have them.
set(ENV{WINEPREFIX} ${WORK}/prefix)
set(ENV{VORLANE_WINE_LOCALE} ja_JP.UTF-8)

execute_process(COMMAND sh ${SESSION} --create-prefix RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot create a Wine prefix in ${WORK}/prefix")
endif()
file(REMOVE $ENV{WINEPREFIX}/dosdevices/z:)
if(EXISTS $ENV{WINEPREFIX}/dosdevices/z: OR IS_SYMLINK $ENV{WINEPREFIX}/dosdevices/z:)
  message(FATAL_ERROR "drive Z: is still there")
endif()
# Lower case, as Wine names the profiles folder: on Linux it would be a second one.
set(folder "users/Jörg Müller/ダウンロード/vorlane tests")
set(bundle_on_c "$ENV{WINEPREFIX}/drive_c/${folder}")
file(COPY ${unpacked}/ DESTINATION ${bundle_on_c})
set(temp "users/Jörg Müller/AppData/Local/Temp")
file(MAKE_DIRECTORY "$ENV{WINEPREFIX}/drive_c/${temp}")
string(REPLACE "/" "\\" windows_temp "C:/${temp}")

# `out` and `rc` of run-tests.exe with ARGN, and how many seconds it took.
function(run_bundle)
  list(JOIN ARGN " " only)
  string(TIMESTAMP start "%s")
  # Started in that folder, as from a command prompt opened there: Wine maps
  # the working directory on drive C: to its Windows path.
  # The temporary folder is that user's too, so the scratch files' paths have
  # the space and the letters beyond ASCII as well.
  set(command "set TMP=${windows_temp}&& set TEMP=${windows_temp}&& run-tests.exe ${only}")
  execute_process(COMMAND sh ${SESSION} --xvfb -- cmd /c "${command}" WORKING_DIRECTORY ${bundle_on_c}
                  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  string(TIMESTAMP end "%s")
  math(EXPR seconds "${end} - ${start}")
  string(REPLACE "\r" "" out "${out}")
  set(out "${out}" PARENT_SCOPE)
  set(rc "${rc}" PARENT_SCOPE)
  set(seconds "${seconds}" PARENT_SCOPE)
  message(STATUS "run-tests.exe ${only} (exit status ${rc}, ${seconds} s):\n${out}${err}")
endfunction()

run_bundle()
if(NOT rc EQUAL 0 OR NOT out MATCHES "\n[1-9][0-9]* test cases ran in 5 test programs.\n${check_count} passed, 0 failed\n$")
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
file(GLOB left_over "$ENV{WINEPREFIX}/drive_c/${temp}/*")
if(left_over)
  message(FATAL_ERROR "the bundle left scratch files behind: ${left_over}")
endif()

# What to send back: everything printed, in a file Notepad reads, with the
# report on the system, and a demo export that decoders nobody here wrote read.
set(results ${bundle_on_c}/results.txt)
expect_windows_text(${results} BOM)
file(READ ${results} text OFFSET 3)  # past the byte-order mark
string(REPLACE "\r" "" text "${text}")
foreach(line "  windows: [^\n]*version [0-9]+\\.[0-9]+\\.[0-9]+" "  cpu: [^\n]*logical processors"
             "  gdiplus.dll: [0-9.]+, " "  code pages: ANSI 932, OEM 932" "  languages: user interface ja-JP"
             "  conversion path: (Plain|Sse2|Avx2)" "  dialog font: メイリオ, " "  system encoder: IHDR 16 x 8, "
             "  system encoder, 16 x 8 frame: [0-9]+ bytes; chunks IHDR 13, "
             "  export_bench 1280x720: PNG encoding +[0-9.]+ ms/frame"
             "  export_bench 1920x1080: \\(conversion \\+ APNG \\+ file\\) / PNG +[0-9.]+ %")
  if(NOT text MATCHES "\n${line}")
    message(FATAL_ERROR "results.txt does not report [${line}]")
  endif()
endforeach()
if(NOT text STREQUAL out)
  message(FATAL_ERROR "results.txt is not the whole output of run-tests.exe")
endif()
execute_process(COMMAND ${PYTHON} -c [[
import sys
from PIL import Image
im = Image.open(sys.argv[1])
durations = set()
for i in range(im.n_frames):
    im.seek(i)
    durations.add(im.info['duration'])
print(im.size, im.n_frames, sorted(durations), im.info.get('loop'))
]] ${bundle_on_c}/results-demo.png OUTPUT_VARIABLE decoded RESULT_VARIABLE rc)
string(STRIP "${decoded}" decoded)
if(NOT rc EQUAL 0 OR NOT decoded MATCHES "^\\(240, 136\\) 24 \\[83\\.3+[0-9]*\\] 0$")
  message(FATAL_ERROR "Pillow reads results-demo.png as [${decoded}], want 24 frames of 240 x 136, 1/12 s each")
endif()

# With a broken module the same command must say so.
file(COPY_FILE ${WRONG_PIXELS} ${bundle_on_c}/vorlane.dll)
run_bundle(windows_export_test.exe)
if(rc EQUAL 0 OR NOT out MATCHES "\n  FAILED  windows_export_test.exe " OR NOT out MATCHES "\n0 passed, 1 failed\n$")
  message(FATAL_ERROR "with a module that writes wrong pixels, the bundle did not fail and name windows_export_test.exe")
endif()
# A dialog test that meets a dialog without its check box ends, and says so,
# well within the two minutes: nothing waits on a dialog left open.
file(COPY_FILE ${WRONG_DIALOG} ${bundle_on_c}/vorlane.dll)
run_bundle(windows_dialog_test.exe)
if(rc EQUAL 0 OR NOT out MATCHES "\n  FAILED  windows_dialog_test.exe " OR seconds GREATER 120)
  message(FATAL_ERROR "with a dialog whose check box has another ID, the bundle did not fail windows_dialog_test.exe "
                      "within two minutes (${seconds} s)")
endif()

file(REMOVE_RECURSE ${WORK})
message(STATUS "${BUNDLE}: ${check_count} programs passed in a folder of a user's kind on a drive C: of their own; "
               "a wrong module and a wrong dialog failed")
