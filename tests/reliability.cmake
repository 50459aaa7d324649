# Reliability: the fuzz findings' regression tests and orb-sim's
# fault options (unit), whole runs with faults against orb-sim and against a
# hostile web server (e2e), all on 127.0.7.x. The fuzz targets themselves are
# in fuzz/ (ORB_FUZZ, the fuzz preset).
orb_add_gtest(reliability_unit_tests LABELS unit DIR reliability
  SOURCES fuzz_regression_test.cpp sim_faults_test.cpp
  LIBS orb_sim)

add_library(orb_fault_run_support STATIC ${CMAKE_CURRENT_LIST_DIR}/reliability/fault_run.cpp)
target_link_libraries(orb_fault_run_support PUBLIC orb_whole_run_support)

orb_add_gtest(fault_run_tests LABELS e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability/fault_runs_test.cpp
  LIBS orb_fault_run_support)

orb_add_gtest(hostile_server_tests LABELS e2e
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability/hostile_server_test.cpp
  LIBS orb_fault_run_support)

orb_add_gtest(hostile_peer_tests LABELS integration
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/reliability/hostile_peer_test.cpp
  LIBS orb_tftp_test_support orb_fault_run_support)
