# The terminal front-end: its pieces and the view on pipes (unit),
# and the real orb-upgrade in a real terminal (tmux) through whole runs against
# orb-sim (peer).
add_library(orb_terminal_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/terminal_test_support.cpp)
target_link_libraries(orb_terminal_test_support PUBLIC orb_terminal_view orb_test_support)

orb_add_gtest(terminal_unit_tests LABELS unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/terminal_text_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/key_decoder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/live_region_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/screen_builder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/stage_tracker_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/terminal_view_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/process_end_hook_test.cpp
  LIBS orb_terminal_test_support)

# The program under tmux serves TFTP on 127.0.0.1, as the hundred program runs
# do (tests/app_unattended.cmake).
orb_add_gtest(terminal_peer_tests LABELS peer RESOURCE_LOCK listener-ports-127.0.0.1
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/tmux_session.cpp
    ${CMAKE_CURRENT_LIST_DIR}/dialogs/terminal/tmux_upgrade_test.cpp
  LIBS orb_whole_run_support)
target_compile_definitions(terminal_peer_tests PRIVATE ORB_UPGRADE_EXECUTABLE="$<TARGET_FILE:orb-upgrade>")
add_dependencies(terminal_peer_tests orb-upgrade orb-sim)
# Whole runs on the real clock: the restart wait alone is 50 s.
