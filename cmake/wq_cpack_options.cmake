# Settings of one CPack generator, read by CPack as it runs each generator
# (CPACK_PROJECT_CONFIG_FILE, set in cmake/wq_release_packages.cmake).

# The Linux tar.gz unpacks into a folder named as the archive; the Debian
# package and the Windows zips put their files at the top.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()

# The Linux packages: the native tree's "sdk" component, then each 32-bit
# tree's under share/wq_sdk2/<preset>.
if(CPACK_GENERATOR MATCHES "^(DEB|TGZ)$" AND CPACK_WQ_CROSS_TREES)
  # Each project is installed into its folder with the package's install
  # prefix after it: the Debian package's prefix (/usr) goes into the
  # folders instead, so that the 32-bit parts lie under /usr/share.
  set(prefix "")
  if(CPACK_GENERATOR STREQUAL "DEB")
    set(prefix "/usr")
    set(CPACK_PACKAGING_INSTALL_PREFIX "/")
  endif()
  set(CPACK_INSTALL_CMAKE_PROJECTS "${CPACK_WQ_NATIVE_TREE};quendor;sdk;${prefix}/")
  foreach(entry IN LISTS CPACK_WQ_CROSS_TREES)
    string(REPLACE "=" ";" entry "${entry}")
    list(GET entry 0 preset)
    list(GET entry 1 tree)
    if(NOT EXISTS "${tree}/cmake_install.cmake")
      message(FATAL_ERROR "The Linux packages carry the SDK of the ${preset} build, but ${tree} "
                          "is no build tree: build the ${preset} preset first (scripts/release.sh does)")
    endif()
    list(APPEND CPACK_INSTALL_CMAKE_PROJECTS "${tree};quendor;sdk;${prefix}/${CPACK_WQ_DATADIR}/wq_sdk2/${preset}")
  endforeach()
  # The projects' list makes one package of what it names, no longer one a
  # component: the names the "sdk" component's package has.
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL OFF)
  set(CPACK_DEBIAN_PACKAGE_NAME ${CPACK_DEBIAN_SDK_PACKAGE_NAME})
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
endif()
