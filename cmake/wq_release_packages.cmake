# The project's version where users see it, and the release packages.
#
# One version, project(VERSION ...) in the top-level CMakeLists.txt, is
# shown by `wqhost --version`, written into the package version file
# (wq_sdk2ConfigVersion.cmake), into quendor.dll's version resource
# (list_module/quendor.rc.in) and into the names of the packages.
#
# `cpack` in a build tree makes that tree's packages (scripts/release.sh
# makes all of them):
#
#   windows-x86 tree   quendor-<version>-win32.zip        for musicians: quendor.dll,
#                                                          README.txt, LICENSE.txt
#                      wq_sdk2-<version>-win32.zip        for module authors: the
#                                                          "sdk" component, wqhost.exe
#   default tree       wq-sdk2_<version>_amd64.deb         the "sdk" component under /usr,
#                                                          with that of the linux-x86 and
#                                                          windows-x86 trees beside it
#                      wq_sdk2-<version>-linux-x86_64.tar.gz   the same, to unpack anywhere
#
# Included at the end of the top-level CMakeLists.txt, after the install
# rules of the SDK (cmake/wq_sdk2_package.cmake).
include(GNUInstallDirs)

if(TARGET wqhost)
  target_compile_definitions(wqhost PRIVATE "WQ_VERSION=\"${PROJECT_VERSION}\"")
endif()

# The musician's package: the module, a page on using it and the licence,
# side by side at the top of the archive, the texts with Windows line ends.
# Only the package installs them, never a plain `cmake --install`, which
# installs the SDK.
if(WIN32)
  install(TARGETS quendor
    LIBRARY DESTINATION . COMPONENT module EXCLUDE_FROM_ALL)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/module-package)
  configure_file(${PROJECT_SOURCE_DIR}/docs/using-quendor.md ${dir}/README.txt
    @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${dir}/LICENSE.txt
    @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${dir}/README.txt ${dir}/LICENSE.txt
    DESTINATION . COMPONENT module EXCLUDE_FROM_ALL)
  unset(dir)
endif()

set(CPACK_PACKAGE_NAME quendor)
set(CPACK_PACKAGE_VENDOR "the Quendor authors")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "wq_sdk2: framework, reference host and CMake package for wq audio modules")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
# Each package holds one install component.
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_COMPONENTS_ALL module sdk)
  set(CPACK_ARCHIVE_MODULE_FILE_NAME "quendor-${PROJECT_VERSION}-win32")
  set(CPACK_ARCHIVE_SDK_FILE_NAME "wq_sdk2-${PROJECT_VERSION}-win32")
  # The files sit at the top of each zip (no folder around them), as
  # Windows users expect: "Extract all" proposes a folder named after the
  # zip, and the musician's zip is the DLL with its two text files.
else()
  set(CPACK_GENERATOR "DEB;TGZ")
  set(CPACK_COMPONENTS_ALL sdk)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(arch x86_64)
  else()
    set(arch x86)
  endif()
  set(CPACK_ARCHIVE_SDK_FILE_NAME "wq_sdk2-${PROJECT_VERSION}-linux-${arch}")
  # The tar.gz unpacks into a folder of the same name
  # (cmake/wq_cpack_options.cmake).
  set(CPACK_PACKAGE_FILE_NAME ${CPACK_ARCHIVE_SDK_FILE_NAME})
  unset(arch)

  set(CPACK_DEBIAN_SDK_PACKAGE_NAME wq-sdk2)
  set(CPACK_DEBIAN_SDK_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "the Quendor authors")
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  # The first line of the description is the summary above.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"wq_sdk2 is the framework for module libraries of the wq host interface:
the plain-C interface header, the C++ base classes as a static library,
the CMake package with wq_add_module(), and wqhost, the reference host
that loads, runs and validates any module library.")
  # The libraries wqhost links (libedit, the C and C++ runtimes), from
  # dpkg-shlibdeps; what building a module takes, as recommendations.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

  # The 64-bit Linux packages also carry the SDK of the host's 32-bit
  # targets, installed from their build trees: each tree's "sdk" component
  # under share/wq_sdk2/<preset>, where the installed toolchain files find
  # it. CPack refuses to run without the trees (scripts/release.sh builds
  # them first).
  if(CMAKE_SIZEOF_VOID_P EQUAL 8 AND NOT CMAKE_CROSSCOMPILING)
    set(WQ_PACKAGE_CROSS_TREES
      "linux-x86=${PROJECT_SOURCE_DIR}/build/linux-x86;windows-x86=${PROJECT_SOURCE_DIR}/build/windows-x86"
      CACHE STRING "The 32-bit build trees whose SDK the Linux packages carry: PRESET=TREE;...")
    set(CPACK_WQ_NATIVE_TREE ${CMAKE_BINARY_DIR})
    set(CPACK_WQ_CROSS_TREES ${WQ_PACKAGE_CROSS_TREES})
    set(CPACK_WQ_DATADIR ${CMAKE_INSTALL_DATADIR})
  endif()
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "cmake (>= 3.25), g++ (>= 4:12)")
endif()

set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/wq_cpack_options.cmake)
include(CPack)
