# GoogleTest for the test suite, as the targets GTest::gtest, GTest::gmock
# and GTest::gtest_main.
#
# Natively the installed package is used. Debian ships it for the machine's
# own architecture only, so the 32-bit and Windows builds compile GoogleTest
# from the sources Debian installs (WQ_GTEST_FROM_SOURCE); nothing is
# downloaded.
option(WQ_GTEST_FROM_SOURCE "Build GoogleTest from source instead of using the installed package" OFF)
set(WQ_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources for WQ_GTEST_FROM_SOURCE")

if(WQ_GTEST_FROM_SOURCE)
  if(NOT EXISTS "${WQ_GTEST_SOURCE_DIR}/CMakeLists.txt")
    message(FATAL_ERROR "WQ_GTEST_FROM_SOURCE: no GoogleTest sources in ${WQ_GTEST_SOURCE_DIR} "
                        "(install libgtest-dev and libgmock-dev)")
  endif()
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory("${WQ_GTEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
  # The GoogleTest build defines these names itself; older releases did not.
  foreach(lib gtest gmock gtest_main gmock_main)
    if(NOT TARGET GTest::${lib})
      add_library(GTest::${lib} ALIAS ${lib})
    endif()
  endforeach()
else()
  find_package(GTest REQUIRED)
endif()
