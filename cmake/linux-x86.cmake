# Toolchain for 32-bit x86 Linux on an x86-64 Debian machine (g++-multilib).
# The build runs on the same machine, so tests execute directly.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
# Libraries found through pkg-config (libsndfile) are the i386 ones, not the
# build machine's own.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")

# Installed with the Linux wq_sdk2 package (share/wq_sdk2/toolchains/), this
# file also finds the package's 32-bit build, which lies beside it: the
# framework, its CMake package and the 32-bit wqhost.
if(EXISTS "${CMAKE_CURRENT_LIST_DIR}/../linux-x86/lib/cmake/wq_sdk2/wq_sdk2Config.cmake")
  get_filename_component(_wq_package "${CMAKE_CURRENT_LIST_DIR}/../linux-x86/lib/cmake/wq_sdk2" ABSOLUTE)
  set(wq_sdk2_DIR "${_wq_package}" CACHE PATH "The 32-bit Linux wq_sdk2 package")
  unset(_wq_package)
endif()
