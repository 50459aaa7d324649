# The unattended front-end's pieces: options, events, outcome, the runner's
# checks before any run (unit); and
# orb-upgrade --unattended as whole runs against orb-sim on 127.0.191.x,
# 127.0.192.x, (the limits of a run nobody watches) 127.0.193.x, (another host
# asking for the image) 127.0.194.x, (batches run again, --check, a hundred at
# once) 127.0.195.x and 127.0.197.x, (three hundred at once)
# 127.0.198.x-127.0.199.x, (the live view) 127.0.200.x and (runs sharing the
# ports with hung adapters or another program) 127.0.211.x-127.0.213.x (e2e).
orb_add_gtest(unattended_unit_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/unattended/unattended_unit_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/app/unattended/batch_turns_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/app/unattended/run_deadlines_test.cpp
  LIBS orb_unattended_runner)

add_executable(unattended_e2e_tests
  ${CMAKE_CURRENT_LIST_DIR}/support/unattended_run.cpp
  ${CMAKE_CURRENT_LIST_DIR}/support/fleet_batch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/unattended/unattended_e2e_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/unattended/unattended_limits_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/unattended/unattended_fleet_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/unattended/unattended_other_host_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/app/unattended/unattended_big_batch_test.cpp)
target_link_libraries(unattended_e2e_tests PRIVATE orb_test_support orb_unattended_runner orb_sim_test_support
                                                   orb_embedded_image)
target_compile_definitions(unattended_e2e_tests PRIVATE ORB_UPGRADE_EXECUTABLE="$<TARGET_FILE:orb-upgrade>")
add_dependencies(unattended_e2e_tests orb-upgrade)
# The runs of the program itself serve TFTP on 127.0.0.1, the one address of
# this computer they can be given: a hundred of them take every listener port
# (69 to 168) there, so a test that serves TFTP on 127.0.0.1 never runs beside
# them: one port taken fails the hundredth run ("Can't bind TFTP listener
# socket"). See also tests/ansible.cmake, tests/upgrade.cmake (curl) and
# tests/dialogs_terminal.cmake (tmux).
set(ORB_PROGRAM_RUNS "*TwentyAdapters*:*HundredAdapters*:*LiveView*")
gtest_discover_tests(unattended_e2e_tests TEST_FILTER "-${ORB_PROGRAM_RUNS}"
  PROPERTIES LABELS e2e DISCOVERY_TIMEOUT 120)
gtest_discover_tests(unattended_e2e_tests TEST_FILTER "${ORB_PROGRAM_RUNS}"
  PROPERTIES LABELS e2e RESOURCE_LOCK listener-ports-127.0.0.1 DISCOVERY_TIMEOUT 120)
