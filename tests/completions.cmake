# The bash completions (completions/), loaded with bash-completion's helpers and
# held against the programs' own --help. Skipped (77) without bash-completion.
add_test(NAME completions.bash
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/completions/completion_test.sh ${PROJECT_SOURCE_DIR}/completions
          $<TARGET_FILE:orb-upgrade> $<TARGET_FILE:orb-sim>)
set_tests_properties(completions.bash PROPERTIES LABELS unit TIMEOUT 60 SKIP_RETURN_CODE 77)
