# Checks what a built module library shows to the loader: exactly the
# expected exported names, imports only from allowed DLLs (Windows) and the
# expected binary format. Run as a CTest script:
#
#   cmake -DLIBRARY=<file> -DFORMAT=elf|pe -DDUMP_TOOL=<nm|objdump>
#         -DEXPORTS=<name;name> [-DALLOWED_IMPORTS=<dll;dll>]
#         [-DFILE_TOOL=<file> -DFILE_PATTERN=<regex>] -P check_exports.cmake
#
# For ELF the dump tool is nm (nm -D --defined-only); for PE it is the mingw
# objdump (objdump -p), whose export table lists names and ordinals and whose
# import table lists each DLL by name.
cmake_minimum_required(VERSION 3.25)

foreach(var LIBRARY FORMAT DUMP_TOOL EXPORTS)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "check_exports: ${var} is not set")
  endif()
endforeach()
if(NOT EXISTS "${LIBRARY}")
  message(FATAL_ERROR "check_exports: ${LIBRARY} does not exist")
endif()

set(failures "")

# The file type, as `file` reports it.
if(FILE_TOOL)
  execute_process(COMMAND "${FILE_TOOL}" -b "${LIBRARY}"
                  OUTPUT_VARIABLE file_type OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "check_exports: ${FILE_TOOL} failed on ${LIBRARY}")
  endif()
  message(STATUS "file: ${file_type}")
  if(NOT file_type MATCHES "${FILE_PATTERN}")
    string(APPEND failures "file type '${file_type}' does not match '${FILE_PATTERN}'\n")
  endif()
endif()

set(exports "")
set(imports "")
if(FORMAT STREQUAL "elf")
  execute_process(COMMAND "${DUMP_TOOL}" -D --defined-only "${LIBRARY}"
                  OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "check_exports: ${DUMP_TOOL} failed on ${LIBRARY}")
  endif()
  string(REPLACE "\n" ";" lines "${dump}")
  foreach(line IN LISTS lines)
    # "<address> <type> <name>[@<version>]"
    if(line MATCHES "^[0-9a-fA-F]+ +[A-Za-z] +([^ @]+)")
      list(APPEND exports "${CMAKE_MATCH_1}")
    endif()
  endforeach()
elseif(FORMAT STREQUAL "pe")
  execute_process(COMMAND "${DUMP_TOOL}" -p "${LIBRARY}"
                  OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "check_exports: ${DUMP_TOOL} failed on ${LIBRARY}")
  endif()
  if(NOT dump MATCHES "file format pei-i386")
    string(APPEND failures "not a 32-bit x86 PE image\n")
  endif()
  string(REPLACE "\n" ";" lines "${dump}")
  set(section "")
  set(address_count 0)
  foreach(line IN LISTS lines)
    if(line MATCHES "^Export Address Table")
      set(section addresses)
    elseif(line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
      set(section names)
    elseif(line MATCHES "^[A-Z]")
      set(section "")
    elseif(section STREQUAL "addresses" AND line MATCHES "^\t\\[ *[0-9]+\\]")
      math(EXPR address_count "${address_count} + 1")
    elseif(section STREQUAL "names" AND line MATCHES "^\t\\[ *[0-9]+\\] (.+)$")
      list(APPEND exports "${CMAKE_MATCH_1}")
    endif()
    if(line MATCHES "^\tDLL Name: (.+)$")
      list(APPEND imports "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  # An entry without a name would be reachable by ordinal only.
  list(LENGTH exports name_count)
  if(NOT address_count EQUAL name_count)
    string(APPEND failures
           "${address_count} exported addresses but ${name_count} exported names\n")
  endif()
else()
  message(FATAL_ERROR "check_exports: FORMAT must be elf or pe, not '${FORMAT}'")
endif()

message(STATUS "exports: ${exports}")
set(sorted_exports ${exports})
set(sorted_expected ${EXPORTS})
list(SORT sorted_exports)
list(SORT sorted_expected)
if(NOT sorted_exports STREQUAL sorted_expected)
  string(APPEND failures "exports are '${exports}', expected exactly '${EXPORTS}'\n")
endif()

if(FORMAT STREQUAL "pe")
  message(STATUS "imports: ${imports}")
  string(TOLOWER "${ALLOWED_IMPORTS}" allowed)
  foreach(dll IN LISTS imports)
    string(TOLOWER "${dll}" lower)
    if(NOT lower IN_LIST allowed)
      string(APPEND failures "imports from ${dll}, which is not a system DLL\n")
    endif()
  endforeach()
endif()

if(failures)
  message(FATAL_ERROR "${LIBRARY}:\n${failures}")
endif()
