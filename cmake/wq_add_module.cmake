# wq_add_module(<name> SOURCES <file>... [OUTPUT_NAME <file name>]
#               [STRICT] [VALIDATE_ARGS <wqhost validate argument>...]
#               [NO_WARNINGS])
#
# Makes <name> a module library that a wq host can load:
#   - libNAME.so on Linux, NAME.dll (no prefix) on Windows, where NAME is
#     OUTPUT_NAME or else <name>;
#   - hidden visibility, and exactly the two exported functions
#     getModuleProperties and makeModule (an export list for the module is
#     generated in the build tree, so the module's sources need none);
#   - every symbol resolved at link time (-Wl,--no-undefined; unless
#     WQ_MODULE_NO_UNDEFINED is OFF);
#   - -fno-gnu-unique where the compiler has it: a GNU unique symbol (the
#     static of a C++ inline function or template, std::to_string's among
#     them) would keep the library loaded for good once a host loaded it,
#     and its static destructors would not run when the host unloads it;
#   - with mingw: the C and C++ runtimes linked in statically and
#     -mstackrealign, as a 32-bit Windows host needs;
#   - linked with wq_sdk2::wq_sdk2;
#   - compiled with the warnings the framework's own code is held to
#     (-Wall -Wextra -Wpedantic -Wsuggest-override -Wnon-virtual-dtor; /W4
#     with MSVC), as warnings, not errors; NO_WARNINGS leaves them out.
# When the wqhost tool is available (wq_sdk2::wqhost) and validates modules
# (its target property WQ_VALIDATE is true), it also adds the CTest test
# <name>_validate, which runs `wqhost validate` on the built library with
# the fixed seed WQ_MODULE_VALIDATE_SEED (1 unless set); STRICT makes it
# `validate --strict` (a warning fails the test), and VALIDATE_ARGS are added
# to its command line (e.g. VALIDATE_ARGS --skip events --timeout 30). Set
# WQ_MODULE_VALIDATE to OFF to leave that test out.
#
# The module's sources define the two exported functions, with
# WQ_MODULE_ENTRY_POINTS from wq_sdk2/wq_module_entry.h (or by hand with
# WQ_EXPORT and WQ_ABI from wq_sdk2/wq_interface.h).
include_guard(GLOBAL)
include(CheckCXXCompilerFlag)

option(WQ_MODULE_VALIDATE "Add a wqhost validate test for every module of wq_add_module" ON)
set(WQ_MODULE_VALIDATE_SEED 1 CACHE STRING
    "Seed of the randomised checks in the validate test of wq_add_module")
# Off only for instrumented builds whose runtime (sanitizers, fuzzer coverage
# hooks) lives in the program that loads the module, such as the fuzz preset.
option(WQ_MODULE_NO_UNDEFINED "Resolve every symbol of a module at link time (--no-undefined)" ON)

function(wq_add_module name)
  cmake_parse_arguments(PARSE_ARGV 1 ARG "STRICT;NO_WARNINGS" "OUTPUT_NAME" "SOURCES;VALIDATE_ARGS")
  if(ARG_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "wq_add_module(${name}): unknown arguments ${ARG_UNPARSED_ARGUMENTS}")
  endif()
  if(NOT ARG_SOURCES)
    message(FATAL_ERROR "wq_add_module(${name}): SOURCES is required")
  endif()
  if(NOT ARG_OUTPUT_NAME)
    set(ARG_OUTPUT_NAME ${name})
  endif()

  add_library(${name} MODULE ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE wq_sdk2::wq_sdk2)
  check_cxx_compiler_flag(-fno-gnu-unique WQ_COMPILER_HAS_NO_GNU_UNIQUE)
  if(WQ_COMPILER_HAS_NO_GNU_UNIQUE)
    target_compile_options(${name} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-gnu-unique>)
  endif()
  set_target_properties(${name} PROPERTIES
    OUTPUT_NAME ${ARG_OUTPUT_NAME}
    POSITION_INDEPENDENT_CODE ON
    C_VISIBILITY_PRESET hidden
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)

  # The validate test's options travel with the target: in the wq_sdk2 tree
  # the test is added later, from a deferred call.
  set(validate_args --seed ${WQ_MODULE_VALIDATE_SEED})
  if(ARG_STRICT)
    list(APPEND validate_args --strict)
  endif()
  list(APPEND validate_args ${ARG_VALIDATE_ARGS})
  set_property(TARGET ${name} PROPERTY WQ_VALIDATE_ARGS "${validate_args}")

  if(NOT ARG_NO_WARNINGS)
    if(MSVC)
      target_compile_options(${name} PRIVATE /W4)
    else()
      target_compile_options(${name} PRIVATE -Wall -Wextra -Wpedantic
        $<$<COMPILE_LANGUAGE:CXX>:-Wsuggest-override -Wnon-virtual-dtor>)
    endif()
  endif()

  # The export list of this module, written only when its text changes.
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/wq_add_module/${name})
  if(WIN32)
    set_target_properties(${name} PROPERTIES PREFIX "" SUFFIX ".dll")
    file(CONFIGURE OUTPUT ${dir}/exports.def CONTENT
"LIBRARY ${ARG_OUTPUT_NAME}
EXPORTS
    getModuleProperties
    makeModule
")
    target_sources(${name} PRIVATE ${dir}/exports.def)
    if(MINGW)
      # The host may call in with a stack aligned to 4 bytes, and the module
      # must not need a DLL of the compiler's.
      target_compile_options(${name} PRIVATE -mstackrealign)
      target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
    endif()
  else()
    set_target_properties(${name} PROPERTIES PREFIX "lib" SUFFIX ".so")
    file(CONFIGURE OUTPUT ${dir}/exports.version CONTENT
"{
  global:
    getModuleProperties;
    makeModule;
  local:
    *;
};
")
    target_link_options(${name} PRIVATE "LINKER:--version-script=${dir}/exports.version")
    if(WQ_MODULE_NO_UNDEFINED)
      target_link_options(${name} PRIVATE "LINKER:--no-undefined")
    endif()
    set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS ${dir}/exports.version)
  endif()

  if(NOT WQ_MODULE_VALIDATE)
    return()
  endif()
  # An installed package brings the tool before any module is added; in the
  # wq_sdk2 tree the tool may be defined after the module, so the test is
  # then added once the whole tree has been read.
  if(TARGET wq_sdk2::wqhost)
    _wq_add_module_validate_test(${name})
  else()
    # A deferred call reads its arguments when it runs: pass the name as text.
    cmake_language(EVAL CODE "
      cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]]
        CALL _wq_add_module_validate_test [[${name}]])")
  endif()
endfunction()

# The test that the host tool accepts module <name>; nothing when there is no
# tool, when it cannot validate, or when the build cannot run it.
function(_wq_add_module_validate_test name)
  if(NOT TARGET wq_sdk2::wqhost)
    return()
  endif()
  get_target_property(validates wq_sdk2::wqhost WQ_VALIDATE)
  if(NOT validates)
    return()
  endif()
  if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
    return()
  endif()
  # Naming the tool's target lets CTest put the emulator in front of it.
  # A fixed seed (printed in the first line): a fault that shows only with
  # some random changes fails every run or none, never now and then.
  get_target_property(validate_args ${name} WQ_VALIDATE_ARGS)
  add_test(NAME ${name}_validate
    COMMAND wq_sdk2::wqhost validate $<TARGET_FILE:${name}> ${validate_args})
  set_tests_properties(${name}_validate PROPERTIES LABELS e2e)
endfunction()
