# Proves that the installed wq_sdk2 package serves an author outside this
# tree: installs the built tree to a prefix of its own, configures the example
# module with nothing but find_package against that prefix, builds it, and
# checks that the library exports exactly the two entry functions. With
# VALIDATE set, the installed wqhost must also pass the example's own tests
# (every test whose name starts with the module's name: the validate test
# that wq_add_module adds, and its scripts); otherwise an installed wqhost
# must at least start.
#
#   cmake -DBUILD_DIR=<built tree> -DEXAMPLE_DIR=<example sources>
#         [-DMODULE=<library name, doubler unless given>]
#         -DWORK_DIR=<scratch directory> -DGENERATOR=<generator>
#         [-DBUILD_TYPE=<config>] -DCXX_COMPILER=<compiler>
#         [-DCXX_FLAGS=<flags>] [-DLINKER_FLAGS=<flags>] [-DVALIDATE=ON]
#         [-DNEW_ARGS=<wqhost new arguments>] -P package_test.cmake
#
# With NEW_ARGS (a list: NAME and --audio or --gui, or neither) the example
# is not taken from EXAMPLE_DIR but written by the installed
# `wqhost new NEW_ARGS`, as an author starts one, into the scratch directory.
#
# The compiler and its flags are those of the tree, so that a sanitizer build
# links its instrumented framework into an instrumented example.
cmake_minimum_required(VERSION 3.25)

set(required BUILD_DIR WORK_DIR GENERATOR CXX_COMPILER)
if(NOT NEW_ARGS)
  list(APPEND required EXAMPLE_DIR)
endif()
foreach(var ${required})
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "package_test: ${var} is not set")
  endif()
endforeach()

if(NOT DEFINED MODULE OR MODULE STREQUAL "")
  set(MODULE doubler)
endif()

set(prefix ${WORK_DIR}/prefix)
set(build ${WORK_DIR}/build)

function(run step)
  execute_process(COMMAND ${ARGN}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "package_test: ${step} failed (${result}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})

run(install ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} --config "${BUILD_TYPE}")

if(NEW_ARGS)
  set(EXAMPLE_DIR ${WORK_DIR}/project)
  run(new ${prefix}/bin/wqhost new ${NEW_ARGS} ${EXAMPLE_DIR})
endif()

# A fresh configure that can only find the package in the prefix.
run(configure ${CMAKE_COMMAND} -S ${EXAMPLE_DIR} -B ${build} -G ${GENERATOR}
  -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
  -DCMAKE_CXX_COMPILER=${CXX_COMPILER}
  "-DCMAKE_CXX_FLAGS=${CXX_FLAGS}"
  "-DCMAKE_MODULE_LINKER_FLAGS=${LINKER_FLAGS}"
  -DCMAKE_PREFIX_PATH=${prefix}
  -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
  -DCMAKE_FIND_USE_PACKAGE_REGISTRY=OFF
  -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF)
file(STRINGS ${build}/CMakeCache.txt found REGEX "^wq_sdk2_DIR:")
if(NOT found MATCHES "=${prefix}/")
  message(FATAL_ERROR "package_test: wq_sdk2 was not found in ${prefix}: ${found}")
endif()

run(build ${CMAKE_COMMAND} --build ${build} -j2)

# wq_add_module compiles module code with the framework's warnings.
file(READ ${build}/compile_commands.json commands)
foreach(flag -Wall -Wextra -Wsuggest-override)
  string(FIND "${commands}" " ${flag}" at)
  if(at LESS 0)
    message(FATAL_ERROR "package_test: the example's sources are compiled without ${flag}")
  endif()
endforeach()

set(library ${build}/lib${MODULE}.so)
if(NOT EXISTS ${library})
  message(FATAL_ERROR "package_test: ${library} was not built")
endif()

# Exactly the two entry points are visible.
run(nm nm -D --defined-only ${library})
string(REGEX MATCHALL "[^\n]+" lines "${output}")
set(exports "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ +[A-Za-z] +([^ @]+)")
    list(APPEND exports ${CMAKE_MATCH_1})
  endif()
endforeach()
list(SORT exports)
if(NOT exports STREQUAL "getModuleProperties;makeModule")
  message(FATAL_ERROR "package_test: ${library} exports '${exports}'")
endif()

# The installed tool validates the module through the example's own tests.
set(wqhost ${prefix}/bin/wqhost)
if(VALIDATE)
  # The example has a validate test, and it is strict (STRICT of
  # wq_add_module).
  run(tests ${CMAKE_CTEST_COMMAND} --test-dir ${build} --show-only=json-v1)
  string(JSON count LENGTH "${output}" tests)
  set(strict_validate FALSE)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      string(JSON command GET "${output}" tests ${i} command)
      if(command MATCHES "\"validate\"" AND NOT command MATCHES "\"--strict\"")
        message(FATAL_ERROR "package_test: the example's validate test is not strict: ${command}")
      elseif(command MATCHES "\"validate\"")
        set(strict_validate TRUE)
      endif()
    endforeach()
  endif()
  if(NOT strict_validate)
    message(FATAL_ERROR "package_test: the example has no validate test")
  endif()
  run(example-tests ${CMAKE_CTEST_COMMAND} --test-dir ${build} --output-on-failure
    -R "^${MODULE}_" --no-tests=error)
  message(STATUS "${output}")
elseif(EXISTS ${wqhost})
  run(wqhost ${wqhost} --help)
  message(STATUS "package_test: the installed wqhost cannot validate yet; the module was built and its exports checked")
else()
  message(STATUS "package_test: no wqhost installed; the module was built and its exports checked")
endif()
