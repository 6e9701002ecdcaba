# Creates the wine prefix of a Windows build at configure time, so that the
# first test discovery does not spend its time limit on wineboot.
# Does nothing unless the test programs run through cmake/wine-run.sh.
if(NOT (WIN32 AND CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR))
  return()
endif()
list(GET CMAKE_CROSSCOMPILING_EMULATOR 0 _wq_runner)
get_filename_component(_wq_runner_name "${_wq_runner}" NAME)
if(NOT _wq_runner_name STREQUAL "wine-run.sh")
  return()
endif()
list(GET CMAKE_CROSSCOMPILING_EMULATOR 1 _wq_prefix)
# Wine runs 32-bit programs, which some kernels do not: there the Windows
# build is made but its tests cannot run.
execute_process(COMMAND "${PROJECT_SOURCE_DIR}/scripts/runs-32bit.sh"
  RESULT_VARIABLE _wq_runs ERROR_VARIABLE _wq_why ERROR_STRIP_TRAILING_WHITESPACE)
if(NOT _wq_runs EQUAL 0)
  message(WARNING "No wine prefix: ${_wq_why}; the Windows tests cannot run on this machine")
  return()
endif()
if(NOT EXISTS "${_wq_prefix}/.wq-ready")
  message(STATUS "Creating the wine prefix ${_wq_prefix}")
  string(TIMESTAMP _wq_start "%s")
  execute_process(COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} RESULT_VARIABLE _wq_result)
  string(TIMESTAMP _wq_end "%s")
  math(EXPR _wq_seconds "${_wq_end} - ${_wq_start}")
  if(NOT _wq_result EQUAL 0)
    message(FATAL_ERROR "Could not create the wine prefix ${_wq_prefix} (see ${_wq_prefix}.log)")
  endif()
  message(STATUS "Creating the wine prefix - done (${_wq_seconds} s)")
endif()
