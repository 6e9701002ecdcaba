# Install rules and the CMake package of wq_sdk2, for module authors:
#
#   include/wq_sdk2/             the C interface header and the C++ framework headers
#   lib/libwq_sdk2.a             the framework (static, position-independent)
#   bin/wqhost                   the reference host's tool, when it is built
#   lib/cmake/wq_sdk2/           wq_sdk2Config.cmake, its version file, the
#                                exported targets and wq_add_module.cmake
#   share/wq_sdk2/toolchains/    (native Linux) the toolchain files of the
#                                32-bit targets and wine-run.sh
#   share/doc/wq_sdk2/           the author's guide, the licence, the list of
#                                changes, examples/doubler_module and
#                                examples/gain_module
#
# Everything here belongs to the install component "sdk", which the release
# packages take (cmake/wq_release_packages.cmake).
#
# find_package(wq_sdk2 CONFIG) then gives wq_sdk2::interface (header only),
# wq_sdk2::wq_sdk2 (the framework), wq_sdk2::wqhost (when installed) and the
# function wq_add_module(). Included at the end of the top-level
# CMakeLists.txt, once every target it installs is defined.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(WQ_SDK2_CMAKE_DIR "${CMAKE_INSTALL_LIBDIR}/cmake/wq_sdk2")

install(TARGETS wq_sdk2_interface wq_sdk2
  EXPORT wq_sdk2Targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT sdk
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT sdk)

# The tool validates and runs modules; an author's tests use it through
# wq_add_module.
if(TARGET wqhost)
  # The tool's target property WQ_VALIDATE says whether it has the validate
  # subcommand; wq_add_module adds its validate test only then. It travels
  # with the exported target.
  get_target_property(validates wqhost WQ_VALIDATE)
  if(NOT validates)
    set_target_properties(wqhost PROPERTIES WQ_VALIDATE OFF)
  endif()
  set_property(TARGET wqhost APPEND PROPERTY EXPORT_PROPERTIES WQ_VALIDATE)
  install(TARGETS wqhost EXPORT wq_sdk2Targets RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
    COMPONENT sdk)
  # In the tree the tool goes by its package name too.
  if(NOT TARGET wq_sdk2::wqhost)
    add_executable(wq_sdk2::wqhost ALIAS wqhost)
  endif()
endif()

install(EXPORT wq_sdk2Targets
  NAMESPACE wq_sdk2::
  DESTINATION ${WQ_SDK2_CMAKE_DIR}
  COMPONENT sdk)

configure_package_config_file(
  ${CMAKE_CURRENT_LIST_DIR}/wq_sdk2Config.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/wq_sdk2Config.cmake
  INSTALL_DESTINATION ${WQ_SDK2_CMAKE_DIR})
# The version check also refuses a package built for another pointer width:
# a 32-bit module cannot link a 64-bit framework.
write_basic_package_version_file(
  ${CMAKE_CURRENT_BINARY_DIR}/wq_sdk2ConfigVersion.cmake
  VERSION ${PROJECT_VERSION}
  COMPATIBILITY SameMajorVersion)

install(FILES
  ${CMAKE_CURRENT_BINARY_DIR}/wq_sdk2Config.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/wq_sdk2ConfigVersion.cmake
  ${CMAKE_CURRENT_LIST_DIR}/wq_add_module.cmake
  DESTINATION ${WQ_SDK2_CMAKE_DIR}
  COMPONENT sdk)

# The toolchain files of the host's 32-bit targets, for building a module
# with the Linux package: each also finds the package's 32-bit build of that
# target, which the release packages carry beside them
# (share/wq_sdk2/linux-x86, share/wq_sdk2/windows-x86).
if(NOT WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  install(FILES ${PROJECT_SOURCE_DIR}/cmake/linux-x86.cmake ${PROJECT_SOURCE_DIR}/cmake/mingw-i686.cmake
    DESTINATION ${CMAKE_INSTALL_DATADIR}/wq_sdk2/toolchains
    COMPONENT sdk)
  install(PROGRAMS ${PROJECT_SOURCE_DIR}/cmake/wine-run.sh
    DESTINATION ${CMAKE_INSTALL_DATADIR}/wq_sdk2/toolchains
    COMPONENT sdk)
endif()

# The author's guide, the example module and the licence.
set(WQ_SDK2_DOC_DIR "${CMAKE_INSTALL_DATADIR}/doc/wq_sdk2")
install(FILES
  ${PROJECT_SOURCE_DIR}/docs/writing-a-module.md
  ${PROJECT_SOURCE_DIR}/LICENSE
  ${PROJECT_SOURCE_DIR}/CHANGELOG.md
  DESTINATION ${WQ_SDK2_DOC_DIR}
  COMPONENT sdk)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/examples/doubler_module
                  ${PROJECT_SOURCE_DIR}/examples/gain_module
  DESTINATION ${WQ_SDK2_DOC_DIR}/examples
  COMPONENT sdk)
