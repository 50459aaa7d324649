# The one whole-run harness (tests/support/whole_run): the program in a forked
# child driven by the robot, orb-sim as a subprocess, the checks of the outcome.
add_library(orb_whole_run_support STATIC ${CMAKE_CURRENT_LIST_DIR}/support/whole_run.cpp)
target_link_libraries(orb_whole_run_support PUBLIC orb_sim_test_support orb_embedded_image)
