# wq_read_fault_table(<file> <module>)
#
# Reads the fault table (faults.json: what each row means is written at its
# top) for the rows of one module ("minimal" or "authored") and sets, in the
# caller's scope:
#   WQ_FAULTS_<module>       each fault of the module once, in table order
#   WQ_FAULT_<fault>_ONLY    TRUE when a row of it is used "only": a CTest
#                            runs its one check; then also
#   WQ_FAULT_<fault>_CHECK   that check,
#   WQ_FAULT_<fault>_EXPECT  the row's report as a regular expression for
#                            PASS_REGULAR_EXPRESSION, and
#   WQ_FAULT_<fault>_TIMEOUT its --timeout, or empty for the default.
# tests/support/FaultTable.cpp reads the same file for the GoogleTest runs.
# An edit of the table configures again.

# The row's text as a regular expression: its characters as they are, '…'
# any run of characters. A ';' (which would split the list of expressions
# CTest takes) matches any one character.
function(_wq_fault_expression out text)
  string(REGEX REPLACE "([][()*+?.^$|\\\\])" "\\\\\\1" expression "${text}")
  string(REPLACE "…" ".*" expression "${expression}")
  string(REPLACE ";" "." expression "${expression}")
  set(${out} "${expression}" PARENT_SCOPE)
endfunction()

function(wq_read_fault_table file module)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${file}")
  file(READ "${file}" table)
  string(JSON count LENGTH "${table}" faults)
  set(faults)
  if(count GREATER 0)
    math(EXPR last "${count} - 1")
    foreach(i RANGE ${last})
      foreach(field module fault check kind text)
        string(JSON ${field}_value GET "${table}" faults ${i} ${field})
      endforeach()
      if(NOT module_value MATCHES "^(minimal|authored)$")
        message(FATAL_ERROR "${file}: row ${i} (${fault_value}): module '${module_value}' is neither minimal nor authored")
      endif()
      if(NOT kind_value MATCHES "^(FAIL|WARN)$")
        message(FATAL_ERROR "${file}: row ${i} (${fault_value}): kind '${kind_value}' is neither FAIL nor WARN")
      endif()
      if(NOT module_value STREQUAL module)
        continue()
      endif()
      list(APPEND faults ${fault_value})
      string(JSON uses LENGTH "${table}" faults ${i} uses)
      set(used_only FALSE)
      if(uses GREATER 0)
        math(EXPR last_use "${uses} - 1")
        foreach(u RANGE ${last_use})
          string(JSON use GET "${table}" faults ${i} uses ${u})
          if(NOT use MATCHES "^(only|whole|alone)$")
            message(FATAL_ERROR "${file}: row ${i} (${fault_value}): use '${use}' is none of only, whole, alone")
          endif()
          if(use STREQUAL "only")
            set(used_only TRUE)
          endif()
        endforeach()
      endif()
      if(NOT used_only)
        continue()
      endif()
      if(WQ_FAULT_${fault_value}_ONLY)
        message(FATAL_ERROR "${file}: row ${i}: the fault ${fault_value} has a second row used \"only\"")
      endif()
      string(JSON timeout ERROR_VARIABLE no_timeout GET "${table}" faults ${i} timeout)
      if(no_timeout)
        set(timeout)
      endif()
      _wq_fault_expression(prefix "${kind_value}  ${check_value}: ")
      _wq_fault_expression(rest "${text_value}")
      set(WQ_FAULT_${fault_value}_ONLY TRUE)
      set(WQ_FAULT_${fault_value}_ONLY TRUE PARENT_SCOPE)
      set(WQ_FAULT_${fault_value}_CHECK ${check_value} PARENT_SCOPE)
      set(WQ_FAULT_${fault_value}_EXPECT "${prefix}${rest}" PARENT_SCOPE)
      set(WQ_FAULT_${fault_value}_TIMEOUT ${timeout} PARENT_SCOPE)
    endforeach()
  endif()
  list(REMOVE_DUPLICATES faults)
  set(WQ_FAULTS_${module} ${faults} PARENT_SCOPE)
endfunction()
