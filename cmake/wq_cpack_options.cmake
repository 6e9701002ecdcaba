# Settings of one CPack generator, read by CPack as it runs each generator
# (CPACK_PROJECT_CONFIG_FILE, set in cmake/wq_release_packages.cmake).

# The Linux tar.gz unpacks into a folder named as the archive; the Debian
# package and the Windows zips put their files at the top.
if(CPACK_GENERATOR STREQUAL "TGZ")
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
endif()
