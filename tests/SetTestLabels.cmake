# Read by CTest: gives every test listed in VISTREL_TESTS_FILE (written by
# gtest_discover_tests) the labels in VISTREL_TEST_LABELS.
if(NOT EXISTS "${VISTREL_TESTS_FILE}")
  return()
endif()
file(STRINGS "${VISTREL_TESTS_FILE}" _vistrel_lines REGEX "^add_test\\(\\[=\\[")
foreach(_vistrel_line IN LISTS _vistrel_lines)
  string(FIND "${_vistrel_line}" "]=]" _vistrel_end)
  math(EXPR _vistrel_length "${_vistrel_end} - 12")
  string(SUBSTRING "${_vistrel_line}" 12 ${_vistrel_length} _vistrel_name)
  set_tests_properties("${_vistrel_name}" PROPERTIES LABELS "${VISTREL_TEST_LABELS}")
endforeach()
