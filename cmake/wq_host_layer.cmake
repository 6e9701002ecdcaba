# wq_host_layer(NAME SOURCES ... [DEPENDS layer...] [LIBS target...])
#
# One layer of the reference host: the static library wq_host_<NAME> built
# from the sources of host/<NAME>/. A layer may include its own headers and
# those of the layers it depends on (directly or through them), never a layer
# above it: includes name their folder ("host/core/Session.h"), and every
# `#include "host/<layer>/..."` in the layer's sources is checked against its
# dependencies when CMake configures. Each layer named in DEPENDS must also be
# included by one of the layer's sources or headers: a dependency that nothing
# uses is refused as well, so the declared graph stays the one the code has.
# The sources are configure dependencies, so an edit that adds a backward
# include, or drops the last include of a dependency, fails the next build.
#
# wq_host_layer_check(TARGET LAYER DEPENDS ...) checks a target that is not a
# layer library itself (the tool) in the same way.

function(_wq_host_layer_visible out)
  set(visible)
  foreach(dep ${ARGN})
    get_property(defined GLOBAL PROPERTY WQ_HOST_LAYER_DEFINED_${dep})
    if(NOT defined)
      message(FATAL_ERROR "host layer '${dep}' is not defined yet: define the layers from the bottom up")
    endif()
    get_property(dep_visible GLOBAL PROPERTY WQ_HOST_LAYER_VISIBLE_${dep})
    list(APPEND visible ${dep} ${dep_visible})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set(${out} ${visible} PARENT_SCOPE)
endfunction()

# Fails on an include of a layer that `layer` does not see; sets `out` to the
# other layers the sources include.
function(_wq_host_layer_scan out layer visible)
  set(used)
  foreach(source ${ARGN})
    get_filename_component(path "${source}" ABSOLUTE)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${path}")
    file(STRINGS "${path}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"host/[^/\"]+/")
    foreach(line ${includes})
      string(REGEX MATCH "\"host/([^/\"]+)/" _ "${line}")
      set(included ${CMAKE_MATCH_1})
      if(NOT included STREQUAL layer AND NOT included IN_LIST visible)
        if(visible)
          string(REPLACE ";" ", " sees "${visible}")
        else()
          set(sees "no other layer")
        endif()
        message(FATAL_ERROR
          "${path}: the host layer '${layer}' may not include from 'host/${included}/' "
          "(it sees only: ${sees}). Move the code down a layer or the include up.")
      endif()
      if(NOT included STREQUAL layer)
        list(APPEND used ${included})
      endif()
    endforeach()
  endforeach()
  list(REMOVE_DUPLICATES used)
  set(${out} ${used} PARENT_SCOPE)
endfunction()

# Fails on a layer in `declared` that none of `used` names.
function(_wq_host_layer_unused layer declared used)
  foreach(dep ${declared})
    if(NOT dep IN_LIST used)
      message(FATAL_ERROR
        "the host layer '${layer}' declares a dependency on '${dep}' (DEPENDS ${dep}), "
        "but none of its sources includes from 'host/${dep}/'. Drop it from DEPENDS.")
    endif()
  endforeach()
endfunction()

function(wq_host_layer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS;LIBS" ${ARGN})
  _wq_host_layer_visible(visible ${ARG_DEPENDS})
  file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  _wq_host_layer_scan(used ${name} "${visible}" ${ARG_SOURCES} ${headers})
  _wq_host_layer_unused(${name} "${ARG_DEPENDS}" "${used}")
  set_property(GLOBAL PROPERTY WQ_HOST_LAYER_VISIBLE_${name} "${visible}")
  set_property(GLOBAL PROPERTY WQ_HOST_LAYER_DEFINED_${name} TRUE)

  add_library(wq_host_${name} STATIC ${ARG_SOURCES})
  set(deps)
  foreach(dep ${ARG_DEPENDS})
    list(APPEND deps wq_host_${dep})
  endforeach()
  target_link_libraries(wq_host_${name} PUBLIC ${deps} wq_sdk2_interface PRIVATE ${ARG_LIBS})
  target_include_directories(wq_host_${name} PUBLIC $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}>)
  wq_set_warnings(wq_host_${name})
endfunction()

function(wq_host_layer_check target layer)
  cmake_parse_arguments(ARG "" "" "DEPENDS" ${ARGN})
  _wq_host_layer_visible(visible ${ARG_DEPENDS})
  get_target_property(sources ${target} SOURCES)
  file(GLOB headers CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.h")
  _wq_host_layer_scan(used ${layer} "${visible}" ${sources} ${headers})
  _wq_host_layer_unused(${layer} "${ARG_DEPENDS}" "${used}")
endfunction()
