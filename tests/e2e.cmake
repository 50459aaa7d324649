# Whole upgrades against orb-sim as a real subprocess on 127.0.5.x.
orb_add_gtest(upgrade_e2e_tests LABELS e2e
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/e2e/upgrade_e2e_test.cpp
  LIBS orb_whole_run_support)
