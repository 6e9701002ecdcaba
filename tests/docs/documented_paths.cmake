# Every path into this build tree that README.md, host/README.md and docs/*.md
# name (in a command line, a code span or prose) must name something the
# build made, so that a moved target breaks the test the day it moves instead
# of a reader's command. Paths into other presets' trees are left to those
# trees; placeholders (<target>, *, $VAR, PORT) name nothing to look for.
#
#   cmake -DSOURCE_DIR=<source tree> -DBINARY_DIR=<build tree> -P documented_paths.cmake
cmake_minimum_required(VERSION 3.25)

get_filename_component(preset "${BINARY_DIR}" NAME)
get_filename_component(expected_tree "${SOURCE_DIR}/build/${preset}" ABSOLUTE)
get_filename_component(tree "${BINARY_DIR}" ABSOLUTE)
if(NOT tree STREQUAL expected_tree)
  message("documented paths: skipped, ${BINARY_DIR} is no preset's tree (build/<preset>)")
  return()
endif()

file(GLOB docs "${SOURCE_DIR}/docs/*.md")
set(checked 0)
set(missing "")
foreach(doc "${SOURCE_DIR}/README.md" "${SOURCE_DIR}/host/README.md" ${docs})
  file(RELATIVE_PATH doc_name "${SOURCE_DIR}" "${doc}")
  file(READ "${doc}" text)
  # A path runs to the first blank, quote, backtick, bracket or separator.
  string(REGEX MATCHALL "build/${preset}/[^] \t\r\n`'\"\\\\(),;|[]*" paths "${text}")
  list(REMOVE_DUPLICATES paths)
  foreach(path IN LISTS paths)
    # The end of a sentence or a label is not part of the path.
    string(REGEX REPLACE "[.:]+$" "" path "${path}")
    if(path MATCHES "[<>*?$%{}]" OR path MATCHES "PORT")
      continue()
    endif()
    math(EXPR checked "${checked} + 1")
    if(NOT EXISTS "${SOURCE_DIR}/${path}")
      string(APPEND missing "\n  ${doc_name}: ${path}")
    endif()
  endforeach()
endforeach()

if(missing)
  message(FATAL_ERROR "documented paths: these name nothing in build/${preset}:${missing}")
endif()
message("documented paths: ${checked} paths into build/${preset} exist")
