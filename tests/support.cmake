# The one whole-run harness (tests/support/whole_run): the program in a forked
# child driven by the robot, orb-sim as a subprocess, the checks of the outcome.
# The one upgrade robot (tests/support/upgrade_robot) drives whole upgrades on it,
# with or without faults.
add_library(orb_whole_run_support STATIC ${CMAKE_CURRENT_LIST_DIR}/support/whole_run.cpp
                                         ${CMAKE_CURRENT_LIST_DIR}/support/upgrade_robot.cpp)
target_link_libraries(orb_whole_run_support PUBLIC orb_sim_test_support orb_embedded_image)
