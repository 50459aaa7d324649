# The manual pages (man/) held against the programs' own --help: every option
# of one is in the other.
add_test(NAME manual.options
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/manual/manual_test.sh ${PROJECT_SOURCE_DIR}/man
          $<TARGET_FILE:orb-upgrade> $<TARGET_FILE:orb-sim>)
set_tests_properties(manual.options PROPERTIES LABELS unit TIMEOUT 60)
