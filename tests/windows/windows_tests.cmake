# The unit tests that use nothing but the platform seam, and the portable
# loopback tests, cross-compiled for Windows. CI runs them under Wine.
add_executable(orb_windows_tests
  ${CMAKE_CURRENT_LIST_DIR}/../upgrade/firmware_image_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../base/random_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../web/md5_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../web/digest_auth_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../web/response_parsing_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../base/ipv4_address_parser_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../tftp/packets_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../tftp/listener_datagram_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../tftp/transfer_steps_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portable_loopback_test.cpp
  ${ORB_RESOURCE_SCRIPT}
)
target_include_directories(orb_windows_tests PRIVATE ${PROJECT_SOURCE_DIR}/resources)
target_link_libraries(orb_windows_tests PRIVATE orb_test_support)
target_link_options(orb_windows_tests PRIVATE -static -static-libgcc -static-libstdc++)

# A Windows helper for the smoke test: finds a window by its title, reads a
# control's text, and tells where a control is on the screen.
add_executable(win_probe ${CMAKE_CURRENT_LIST_DIR}/win_probe.cpp)
target_link_options(win_probe PRIVATE -static -static-libgcc -static-libstdc++)

find_program(ORB_WINE NAMES wine)
if(ORB_WINE)
  add_test(NAME wine.unit_and_loopback COMMAND ${ORB_WINE} $<TARGET_FILE:orb_windows_tests>)
  add_test(NAME wine.smoke
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_smoke.sh $<TARGET_FILE:orb-upgrade> $<TARGET_FILE:win_probe>
            ${CMAKE_BINARY_DIR}/wine-artifacts)
  add_test(NAME wine.resources
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_resources.sh $<TARGET_FILE:orb-upgrade> ${ORB_EMBEDDED_IMAGE}
            ${CMAKE_BINARY_DIR}/wine-artifacts/resources)
  set_tests_properties(wine.unit_and_loopback wine.smoke wine.resources PROPERTIES LABELS wine TIMEOUT 300)
  set_tests_properties(wine.unit_and_loopback wine.smoke PROPERTIES
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all" RESOURCE_LOCK wine)
endif()
