# Toolchain for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
#
# The -posix compilers are used: GoogleTest needs std::mutex and
# std::condition_variable, which the win32 thread model of this gcc lacks.
# Everything is linked statically (libgcc, libstdc++, winpthread), so the
# module and the test programs need no DLL beyond those of the system.
#
# Programs built here run under wine, each run through wine-run.sh with a
# wine prefix inside the build tree.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(WQ_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${WQ_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${WQ_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${WQ_MINGW_TRIPLET}-windres)
set(CMAKE_OBJDUMP ${WQ_MINGW_TRIPLET}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${WQ_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(WQ_STATIC_RUNTIME "-static -static-libgcc -static-libstdc++")
set(CMAKE_EXE_LINKER_FLAGS_INIT "${WQ_STATIC_RUNTIME}")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "${WQ_STATIC_RUNTIME}")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "${WQ_STATIC_RUNTIME}")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      "${CMAKE_CURRENT_LIST_DIR}/wine-run.sh;${CMAKE_BINARY_DIR}/wineprefix")
endif()

# Installed with the Linux wq_sdk2 package (share/wq_sdk2/toolchains/), this
# file also finds the package's Windows build, which lies beside it: the
# framework, its CMake package and wqhost.exe (run under wine).
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../windows-x86/lib/cmake/wq_sdk2/wq_sdk2Config.cmake")
  get_filename_component(_wq_package "${CMAKE_CURRENT_LIST_DIR}/../windows-x86/lib/cmake/wq_sdk2" ABSOLUTE)
  set(wq_sdk2_DIR "${_wq_package}" CACHE PATH "The 32-bit Windows wq_sdk2 package")
  unset(_wq_package)
endif()
