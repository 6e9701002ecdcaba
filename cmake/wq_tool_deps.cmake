# Libraries of the wqhost tool: CLI11 (argument parsing) and nlohmann-json
# (reports), both header-only, and libedit (line editing at the interactive
# prompt).
#
# A cross build (mingw) finds no package for its own target: the two
# header-only libraries are then taken from the build machine. Their headers
# are copied into the build tree, so that the build machine's /usr/include
# never lands on the cross compiler's include path.
#
# libedit is optional. Without it, or when the one found cannot be linked for
# the target (a 64-bit library in a -m32 build), the prompt reads plain lines;
# WQ_HAVE_LIBEDIT tells which.
include_guard(GLOBAL)

function(_wq_headers_from_build_machine target header_dir)
  find_path(_wq_dir ${header_dir} PATHS /usr/include /usr/local/include NO_DEFAULT_PATH
            NO_CMAKE_FIND_ROOT_PATH)
  if(NOT _wq_dir)
    message(FATAL_ERROR "${target}: headers '${header_dir}' not found on the build machine")
  endif()
  set(copy ${CMAKE_BINARY_DIR}/build-machine-headers)
  file(COPY ${_wq_dir}/${header_dir} DESTINATION ${copy})
  unset(_wq_dir CACHE)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${copy}
                                             INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${copy})
endfunction()

if(CMAKE_CROSSCOMPILING)
  find_package(CLI11 CONFIG QUIET)
  if(NOT TARGET CLI11::CLI11)
    _wq_headers_from_build_machine(CLI11::CLI11 CLI)
  endif()
  find_package(nlohmann_json 3 CONFIG QUIET)
  if(NOT TARGET nlohmann_json::nlohmann_json)
    _wq_headers_from_build_machine(nlohmann_json::nlohmann_json nlohmann)
  endif()
else()
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 CONFIG REQUIRED)
endif()

set(WQ_HAVE_LIBEDIT OFF)
if(NOT WIN32)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(libedit QUIET IMPORTED_TARGET libedit)
  endif()
  if(TARGET PkgConfig::libedit)
    include(CheckCXXSourceCompiles)
    include(CMakePushCheckState)
    cmake_push_check_state(RESET)
    set(CMAKE_REQUIRED_LIBRARIES PkgConfig::libedit)
    check_cxx_source_compiles([[
      #include <cstdio>
      #include <editline/readline.h>
      int main() { add_history("x"); return readline == nullptr; }
    ]] WQ_LIBEDIT_LINKS)
    cmake_pop_check_state()
    if(WQ_LIBEDIT_LINKS)
      set(WQ_HAVE_LIBEDIT ON)
    endif()
  endif()
endif()
message(STATUS "wqhost line editing with libedit: ${WQ_HAVE_LIBEDIT}")

# libdw (elfutils) names the frames of a crashed module: function, source
# file and line. Optional, like libedit: without it, or when the one found
# cannot be linked for the target, a frame is its module and offset;
# WQ_HAVE_LIBDW tells which.
set(WQ_HAVE_LIBDW OFF)
if(NOT WIN32)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(libdw QUIET IMPORTED_TARGET GLOBAL libdw)
  endif()
  if(TARGET PkgConfig::libdw)
    include(CheckCXXSourceCompiles)
    include(CMakePushCheckState)
    cmake_push_check_state(RESET)
    set(CMAKE_REQUIRED_LIBRARIES PkgConfig::libdw)
    check_cxx_source_compiles([[
      #include <elfutils/libdwfl.h>
      int main() { return dwfl_begin(nullptr) != nullptr; }
    ]] WQ_LIBDW_LINKS)
    cmake_pop_check_state()
    if(WQ_LIBDW_LINKS)
      set(WQ_HAVE_LIBDW ON)
    endif()
  endif()
endif()
message(STATUS "wqhost frame names with libdw: ${WQ_HAVE_LIBDW}")

# The web panel (`wqhost panel`) needs cpp-httplib, a compiled library: only a
# native build finds one it can link, so the panel is part of native builds
# where the library is installed. Elsewhere `wqhost panel` says it is left out.
set(_wq_panel_default OFF)
if(NOT WIN32 AND NOT CMAKE_CROSSCOMPILING AND NOT CMAKE_TOOLCHAIN_FILE)
  find_package(PkgConfig QUIET)
  if(PKG_CONFIG_FOUND)
    pkg_check_modules(cpp_httplib QUIET IMPORTED_TARGET GLOBAL cpp-httplib)
  endif()
  if(TARGET PkgConfig::cpp_httplib)
    set(_wq_panel_default ON)
  endif()
endif()
option(WQ_BUILD_PANEL "Build the web panel of wqhost (needs cpp-httplib)" ${_wq_panel_default})
if(WQ_BUILD_PANEL AND NOT TARGET PkgConfig::cpp_httplib)
  message(FATAL_ERROR "WQ_BUILD_PANEL needs cpp-httplib (Debian: libcpp-httplib-dev)")
endif()
message(STATUS "wqhost web panel: ${WQ_BUILD_PANEL}")
