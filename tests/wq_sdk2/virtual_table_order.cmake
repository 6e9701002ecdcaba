# Checks the order of the virtual operations of the two framework base
# classes as the compiler lays out their tables: derived classes built by
# other compilers, or against another copy of the headers, rely on it. Run as
# a CTest script with GCC (its class dump, -fdump-lang-class):
#
#   cmake -DCXX_COMPILER=<g++> [-DCXX_FLAGS=<flags>] -DSOURCE_DIR=<source tree>
#         -DWORK_DIR=<scratch directory> -P virtual_table_order.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var CXX_COMPILER SOURCE_DIR WORK_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "virtual_table_order: ${var} is not set")
  endif()
endforeach()

# The tables, destructor first; a destructor fills two slots of the table
# (complete and deleting), counted once here.
set(expected_WQGUI_base
  ~WQGUI_base dispatch open close onHostOpcode2 onHostOpcode3 onHostOpcode4 onHostOpcode5
  onHostOpcode8 onHostOpcode9 onHostOpcode10 onHostOpcode11 onHostOpcode12 onHostOpcode6
  onPinChanged)
set(expected_WQModule_base
  ~WQModule_base onPinStatusChange handleEvent dispatch open close spareHook1 setSampleRate
  setBlockSize sampleRate blockSize getPinProperties spareHook2 spareHook3 onHostOpcode8
  onHostOpcode8Index onEventType2 onHostOpcode12)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(WRITE "${WORK_DIR}/probe.cpp"
  "#include \"wq_sdk2/WQGUI_base.h\"\n#include \"wq_sdk2/WQModule_base.h\"\n")
separate_arguments(flags UNIX_COMMAND "${CXX_FLAGS}")
execute_process(
  COMMAND "${CXX_COMPILER}" ${flags} -std=c++17 "-I${SOURCE_DIR}" -fdump-lang-class
          -c probe.cpp -o probe.o
  WORKING_DIRECTORY "${WORK_DIR}"
  RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "virtual_table_order: the probe does not compile:\n${errors}")
endif()
file(GLOB dumps "${WORK_DIR}/*.class")
list(LENGTH dumps count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "virtual_table_order: expected one class dump, found '${dumps}'")
endif()
file(STRINGS "${dumps}" lines)

set(failures "")
foreach(class WQGUI_base WQModule_base)
  # The table's lines follow "Vtable for <class>" up to the first empty line:
  # "<offset> (int (*)(...))<class>::<operation>", after the offset-to-top
  # and type-information entries.
  set(inside FALSE)
  set(operations "")
  foreach(line IN LISTS lines)
    if(line STREQUAL "Vtable for ${class}")
      set(inside TRUE)
    elseif(inside AND line STREQUAL "")
      break()
    elseif(inside AND line MATCHES "^[0-9]+ +\\(int \\(\\*\\)\\(\\.\\.\\.\\)\\)${class}::([~A-Za-z0-9_]+)$")
      list(APPEND operations "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  # The second destructor slot.
  list(FIND operations "~${class}" first)
  list(LENGTH operations length)
  math(EXPR second "${first} + 1")
  if(first GREATER_EQUAL 0 AND second LESS length)
    list(GET operations ${second} next)
    if(next STREQUAL "~${class}")
      list(REMOVE_AT operations ${second})
    endif()
  endif()
  message(STATUS "${class}: ${operations}")
  if(NOT operations STREQUAL expected_${class})
    string(APPEND failures
           "${class}: the table is '${operations}', expected '${expected_${class}}'\n")
  endif()
endforeach()

if(failures)
  message(FATAL_ERROR "${failures}")
endif()
