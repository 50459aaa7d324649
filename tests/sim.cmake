# orb-sim: its pieces (unit), the program as a subprocess on 127.0.4.x and its
# fleets on 127.4.x.y (integration), and curl as a real Digest client against
# it (peer).

# The driver that runs orb-sim for a test; whole-run tests use it too.
add_library(orb_sim_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/support/sim_process.cpp)
target_link_libraries(orb_sim_test_support PUBLIC orb_sim orb_test_support)
target_compile_definitions(orb_sim_test_support PRIVATE ORB_SIM_EXECUTABLE="$<TARGET_FILE:orb-sim>"
                                                        ORB_RRQ_THIEF_EXECUTABLE="$<TARGET_FILE:orb-rrq-thief>")
add_dependencies(orb_sim_test_support orb-sim orb-rrq-thief)

# Another host that asks the listener for every file name it could draw
# (whole runs on Linux and the Wine runs use it).
add_executable(orb-rrq-thief ${CMAKE_CURRENT_LIST_DIR}/support/rrq_thief.cpp)
target_link_libraries(orb-rrq-thief PRIVATE orb_sim)

add_library(orb_sim_test_helpers STATIC ${CMAKE_CURRENT_LIST_DIR}/sim/sim_test_helpers.cpp)
target_link_libraries(orb_sim_test_helpers PUBLIC orb_sim_test_support)

orb_add_gtest(sim_unit_tests LABELS unit DIR sim
  SOURCES sha256_test.cpp event_log_test.cpp http_message_test.cpp digest_server_test.cpp device_pages_test.cpp
          status_page_fields_test.cpp tftp_fetch_test.cpp options_test.cpp fleet_test.cpp
  LIBS orb_sim_test_helpers)

orb_add_gtest(sim_integration_tests LABELS integration DIR sim
  SOURCES sim_http_test.cpp sim_upgrade_test.cpp sim_fleet_test.cpp
  LIBS orb_sim_test_helpers)

orb_add_gtest(sim_peer_tests LABELS peer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/sim/sim_curl_test.cpp
  LIBS orb_sim_test_helpers)
