# The seam's POSIX services that the tests of the layers above do not reach:
# the stop signals, the end of the process.
orb_add_gtest(platform_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/platform/signals_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/platform/process_end_test.cpp)
