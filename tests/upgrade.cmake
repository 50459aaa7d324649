# The run: start-up, the firmware image, the waiting window's hint, what the
# waiting and upload windows show, the device query's reading of an exchange
# (unit); the dialogs, the device query runner
# and the upgrade sequence as whole program runs in child processes against a
# scripted adapter on 127.0.2.x:80 (e2e).
orb_add_gtest(upgrade_unit_tests LABELS unit DIR upgrade
  SOURCES firmware_image_test.cpp embedded_image_test.cpp startup_test.cpp waiting_hint_test.cpp
          progress_windows_test.cpp device_query_test.cpp
  LIBS orb_embedded_image orb_terminal_view)
target_compile_definitions(upgrade_unit_tests PRIVATE ORB_EMBEDDED_IMAGE_PATH="${ORB_EMBEDDED_IMAGE}")

# The windows of the run on the portable dialog manager: centring, the error
# box, the restart wait.
orb_add_gtest(upgrade_window_tests LABELS unit DIR upgrade
  SOURCES center_window_test.cpp error_box_test.cpp restart_wait_test.cpp)

# The listener and the transfer session as the program runs them, on loopback
# (127.0.3.x), against a scripted peer and against Debian's curl.
orb_add_gtest(upgrade_loopback_tests LABELS integration DIR upgrade
  SOURCES session_loopback_test.cpp listener_loopback_test.cpp
  LIBS orb_tftp_test_support)

# curl asks from 127.0.0.1: the listener there takes a port of the hundred
# program runs' (tests/app_unattended.cmake).
orb_add_gtest(upgrade_peer_tests LABELS peer RESOURCE_LOCK listener-ports-127.0.0.1
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/upgrade/curl_peer_test.cpp
  LIBS orb_tftp_test_support)

orb_add_gtest(sequence_tests LABELS e2e DIR upgrade
  SOURCES dialogs_flow_test.cpp status_query_test.cpp digest_flow_test.cpp
  LIBS orb_whole_run_support)

# Prints the size and checksum of the image it carries; the override test
# builds it against another image.
add_executable(orb_image_probe ${CMAKE_CURRENT_LIST_DIR}/upgrade/image_probe.cpp)
target_link_libraries(orb_image_probe PRIVATE orb_embedded_image)

add_test(NAME upgrade.firmware_image_override
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/image-override
    -DGENERATOR=${CMAKE_GENERATOR}
    -P ${CMAKE_CURRENT_LIST_DIR}/upgrade/image_override_test.cmake)
set_tests_properties(upgrade.firmware_image_override PROPERTIES LABELS integration TIMEOUT 300)

add_test(NAME upgrade.firmware_image_too_large
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/image-too-large
    -DGENERATOR=${CMAKE_GENERATOR}
    -P ${CMAKE_CURRENT_LIST_DIR}/upgrade/image_too_large_test.cmake)
set_tests_properties(upgrade.firmware_image_too_large PROPERTIES LABELS integration TIMEOUT 300)
