# Builds that do not depend on where they run: the same sources give the
# same bytes in any build folder, on any day.
#
#   - Paths of the source and build trees are written relative into debug
#     information and into __FILE__ (-ffile-prefix-map). The build tree's map
#     comes last: the compiler tries the last map first, and the build tree
#     usually lies inside the source tree.
#   - PE images (mingw) carry no link time stamp (--no-insert-timestamp).
#   - Static libraries are deterministic already: Debian's ar, the mingw one
#     included, writes zero time stamps and owners by default.
#
# Package archives take their file times from SOURCE_DATE_EPOCH, which
# scripts/release.sh sets to the time of the commit.
include_guard(GLOBAL)

if(NOT MSVC)
  add_compile_options(
    "-ffile-prefix-map=${PROJECT_SOURCE_DIR}/="
    "-ffile-prefix-map=${PROJECT_BINARY_DIR}/=")
endif()
if(MINGW)
  add_link_options("LINKER:--no-insert-timestamp")
endif()
