# Makes the Windows test bundle (the test_bundle target, see
# tests/windows/CMakeLists.txt): FILES copied into a fresh STAGE folder, the
# binaries stripped as the package's are, packed into the ZIP OUTPUT with
# every entry at the last commit's time, like the package.
# Needs SOURCE_DIR, STRIP, STAGE, OUTPUT, FILES.
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(COPY ${FILES} DESTINATION ${STAGE})

# The strip would stamp the clock's time into the PE headers; zero, as the
# linker leaves it.
set(ENV{SOURCE_DATE_EPOCH} 0)
file(GLOB binaries ${STAGE}/*.exe ${STAGE}/*.dll)
foreach(binary ${binaries})
  execute_process(COMMAND ${STRIP} ${binary} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cannot strip ${binary}")
  endif()
endforeach()

set(CPACK_VORLANE_SOURCE_DIR ${SOURCE_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/commit_times.cmake)
file(GLOB names RELATIVE ${STAGE} ${STAGE}/*)
list(SORT names)
file(REMOVE ${OUTPUT})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${OUTPUT} --format=zip -- ${names}
                WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cannot pack ${OUTPUT}")
endif()
