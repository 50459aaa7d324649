# The unattended front-end's pieces: options, events, outcome.
orb_add_gtest(unattended_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/unattended/unattended_unit_test.cpp
  LIBS orb_unattended)
