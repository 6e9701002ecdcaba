# Tests of the built module library as the host's loader sees it: the file
# format, exactly the two exported names and, on Windows, nothing imported
# but system DLLs. Included from tests/CMakeLists.txt.

set(WQ_EXPORTED_NAMES "getModuleProperties;makeModule")

# Windows DLLs a module may import: those every Windows installation has.
set(WQ_SYSTEM_DLLS
  KERNEL32.dll
  msvcrt.dll
  ntdll.dll
  USER32.dll
  ADVAPI32.dll
  WS2_32.dll)

find_program(WQ_FILE_TOOL file)

if(WIN32)
  find_program(WQ_PE_OBJDUMP NAMES ${CMAKE_OBJDUMP} i686-w64-mingw32-objdump REQUIRED)
  set(format pe)
  set(dump_tool "${WQ_PE_OBJDUMP}")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(file_pattern "^PE32 executable \\(DLL\\).*Intel 80386")
  else()
    set(file_pattern "^PE32\\+ executable \\(DLL\\)")
  endif()
else()
  find_program(WQ_NM NAMES ${CMAKE_NM} nm REQUIRED)
  set(format elf)
  set(dump_tool "${WQ_NM}")
  if(CMAKE_SIZEOF_VOID_P EQUAL 4)
    set(file_pattern "^ELF 32-bit LSB shared object, Intel 80386")
  else()
    set(file_pattern "^ELF 64-bit LSB shared object")
  endif()
endif()

set(file_args "")
if(WQ_FILE_TOOL)
  set(file_args "-DFILE_TOOL=${WQ_FILE_TOOL}" "-DFILE_PATTERN=${file_pattern}")
endif()

add_test(NAME quendor_exports
  COMMAND ${CMAKE_COMMAND}
    -DLIBRARY=$<TARGET_FILE:quendor>
    -DFORMAT=${format}
    -DDUMP_TOOL=${dump_tool}
    "-DEXPORTS=${WQ_EXPORTED_NAMES}"
    "-DALLOWED_IMPORTS=${WQ_SYSTEM_DLLS}"
    ${file_args}
    -P ${PROJECT_SOURCE_DIR}/cmake/check_exports.cmake)
set_tests_properties(quendor_exports PROPERTIES LABELS interface)

# One behaviour on every target: the reference host's example session with
# the built module prints exactly the stored output, natively, in the 32-bit
# Linux build and under wine. Only the library's path differs between them.
if(TARGET wqhost)
  set(run $<TARGET_FILE:wqhost> run $<TARGET_FILE:quendor> ${PROJECT_SOURCE_DIR}/examples/demo.wqs)
  if(CMAKE_CROSSCOMPILING_EMULATOR)
    list(PREPEND run ${CMAKE_CROSSCOMPILING_EMULATOR})
  endif()
  string(REPLACE ";" "$<SEMICOLON>" run "${run}")
  add_test(NAME demo_output
    COMMAND ${CMAKE_COMMAND}
      "-DRUN=${run}"
      -DEXPECTED=${CMAKE_CURRENT_SOURCE_DIR}/expected/demo_output.txt
      -DACTUAL=${CMAKE_CURRENT_BINARY_DIR}/demo_output.actual.txt
      -DMASK=$<TARGET_FILE:quendor>
      "-DMASK_AS=<module library>"
      -P ${PROJECT_SOURCE_DIR}/cmake/compare_output.cmake)
  set_tests_properties(demo_output PROPERTIES LABELS e2e)
endif()
