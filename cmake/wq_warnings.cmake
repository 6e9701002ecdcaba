# Shared compile settings for every target of the project.
function(wq_set_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
    return()
  endif()
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic
    $<$<COMPILE_LANGUAGE:CXX>:-Wsuggest-override -Wnon-virtual-dtor>
    -Werror=implicit-fallthrough -Werror=switch -Werror=return-type)
  # Check messages name files relative to the source tree, whatever the build directory.
  target_compile_options(${target} PRIVATE "-fmacro-prefix-map=${PROJECT_SOURCE_DIR}/=")
endfunction()
