# The loopback tests written against the platform seam only; the same file runs
# under Wine in the Windows build.
orb_add_gtest(portable_tests LABELS integration
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/windows/portable_loopback_test.cpp)
