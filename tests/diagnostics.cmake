# The diagnostics log (--log FILE, ORB_TRACE=FILE): masking, entries, the
# dialog lines; the waiting window's hint in the model and the terminal view.
orb_add_gtest(diagnostics_tests LABELS unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/log_masking_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/diagnostics_log_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/diagnostics/waiting_hint_test.cpp
  LIBS orb_terminal_view)
