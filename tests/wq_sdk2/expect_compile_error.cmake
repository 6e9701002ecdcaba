# Compiles one source that must not compile and checks that the compiler
# refuses it for the expected reason. Run as a CTest script:
#
#   cmake -DCXX_COMPILER=<compiler> [-DCXX_FLAGS=<flags>] -DSOURCE_DIR=<source tree>
#         -DSOURCE=<file> -DERROR_PATTERN=<regex> -P expect_compile_error.cmake
cmake_minimum_required(VERSION 3.25)

foreach(var CXX_COMPILER SOURCE_DIR SOURCE ERROR_PATTERN)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "expect_compile_error: ${var} is not set")
  endif()
endforeach()

separate_arguments(flags UNIX_COMMAND "${CXX_FLAGS}")
execute_process(
  COMMAND "${CXX_COMPILER}" ${flags} -std=c++17 "-I${SOURCE_DIR}" -fsyntax-only "${SOURCE}"
  RESULT_VARIABLE result ERROR_VARIABLE errors OUTPUT_VARIABLE output)
if(result EQUAL 0)
  message(FATAL_ERROR "${SOURCE} compiles, but it must not")
endif()
if(NOT errors MATCHES "${ERROR_PATTERN}")
  message(FATAL_ERROR "${SOURCE} does not compile, but not for the expected reason "
                      "('${ERROR_PATTERN}'):\n${errors}")
endif()
message(STATUS "refused as expected: ${CMAKE_MATCH_0}")
