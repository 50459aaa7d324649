# The entries: the Linux program's arguments (--help, --version, refusals) as a
# child process (unit); orb-upgrade --unattended as whole runs against orb-sim
# on 127.0.191.x and 127.0.192.x (e2e).
orb_add_gtest(command_line_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/command_line_test.cpp)
target_compile_definitions(command_line_tests PRIVATE
  ORB_UPGRADE_EXECUTABLE="$<TARGET_FILE:orb-upgrade>"
  ORB_EMBEDDED_IMAGE_PATH="${ORB_EMBEDDED_IMAGE}"
  ORB_PROGRAM_VERSION="${PROJECT_VERSION}")
add_dependencies(command_line_tests orb-upgrade)

orb_add_gtest(unattended_e2e_tests LABELS e2e
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/support/unattended_run.cpp
    ${CMAKE_CURRENT_LIST_DIR}/app/unattended_e2e_test.cpp
  LIBS orb_unattended_runner orb_sim_test_support orb_embedded_image)
target_compile_definitions(unattended_e2e_tests PRIVATE ORB_UPGRADE_EXECUTABLE="$<TARGET_FILE:orb-upgrade>")
add_dependencies(unattended_e2e_tests orb-upgrade)
