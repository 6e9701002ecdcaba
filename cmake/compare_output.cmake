# Runs a command and compares what it prints on standard output with a
# stored expected output, so that every build target can be held to one
# behaviour. Run as a CTest script:
#
#   cmake "-DRUN=<program;arg;...>" -DEXPECTED=<file>
#         [-DINPUT=<file fed to standard input>] [-DACTUAL=<file to write>]
#         [-DDROP_LINES=<regex of lines left out of the comparison>]
#         [-DMASK=<text> -DMASK_AS=<placeholder>]
#         -P compare_output.cmake
#
# MASK replaces a text that legitimately differs between targets (such as a
# path the command prints) by MASK_AS in the actual output before comparing.
#
# A cross build passes its emulator as the first words of RUN. Line
# endings are normalised (CRLF and CR become LF, as a Windows program under
# wine may print them) and a missing final newline is supplied, on both sides.
# On a mismatch the test fails and shows a unified diff.
cmake_minimum_required(VERSION 3.25)

if(NOT RUN OR NOT EXPECTED)
  message(FATAL_ERROR "compare_output: RUN and EXPECTED must be set")
endif()
if(NOT EXISTS "${EXPECTED}")
  message(FATAL_ERROR "compare_output: expected output ${EXPECTED} does not exist")
endif()

set(input_args "")
if(INPUT)
  if(NOT EXISTS "${INPUT}")
    message(FATAL_ERROR "compare_output: input ${INPUT} does not exist")
  endif()
  set(input_args INPUT_FILE "${INPUT}")
endif()

execute_process(COMMAND ${RUN} ${input_args}
                OUTPUT_VARIABLE actual ERROR_VARIABLE errors RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "compare_output: '${RUN}' failed (${result}):\n${errors}\n${actual}")
endif()

function(normalise text out)
  string(REPLACE "\r\n" "\n" text "${text}")
  string(REPLACE "\r" "\n" text "${text}")
  if(NOT text STREQUAL "" AND NOT text MATCHES "\n$")
    string(APPEND text "\n")
  endif()
  if(DROP_LINES)
    # Walk the text line by line; no list, as output may hold ';' and '['.
    set(kept "")
    while(NOT text STREQUAL "")
      string(FIND "${text}" "\n" end)
      math(EXPR next "${end} + 1")
      string(SUBSTRING "${text}" 0 ${end} line)
      string(SUBSTRING "${text}" ${next} -1 text)
      if(NOT line MATCHES "${DROP_LINES}")
        string(APPEND kept "${line}\n")
      endif()
    endwhile()
    set(text "${kept}")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(DEFINED MASK AND NOT MASK STREQUAL "")
  string(REPLACE "${MASK}" "${MASK_AS}" actual "${actual}")
endif()

file(READ "${EXPECTED}" expected)
normalise("${expected}" expected)
normalise("${actual}" actual)

if(NOT ACTUAL)
  get_filename_component(name "${EXPECTED}" NAME)
  set(ACTUAL "${CMAKE_CURRENT_BINARY_DIR}/${name}.actual")
endif()
file(WRITE "${ACTUAL}" "${actual}")

if(NOT actual STREQUAL expected)
  # The difference goes out unchanged; message() would reflow it.
  file(WRITE "${ACTUAL}.expected" "${expected}")
  find_program(DIFF diff)
  if(DIFF)
    execute_process(COMMAND "${DIFF}" -u "${ACTUAL}.expected" "${ACTUAL}")
  else()
    execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${ACTUAL}")
  endif()
  message(FATAL_ERROR "output differs from ${EXPECTED} (actual output in ${ACTUAL})")
endif()
message(STATUS "output matches ${EXPECTED}")
