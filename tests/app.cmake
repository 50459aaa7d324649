# The entries: the Linux program's arguments (--help, --version, refusals) as a
# child process (unit). orb-upgrade --unattended: app_unattended.cmake.
orb_add_gtest(command_line_tests LABELS unit
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/app/command_line_test.cpp)
target_compile_definitions(command_line_tests PRIVATE
  ORB_UPGRADE_EXECUTABLE="$<TARGET_FILE:orb-upgrade>"
  ORB_EMBEDDED_IMAGE_PATH="${ORB_EMBEDDED_IMAGE}"
  ORB_PROGRAM_VERSION="${PROJECT_VERSION}")
add_dependencies(command_line_tests orb-upgrade)
