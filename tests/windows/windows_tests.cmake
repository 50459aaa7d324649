# A Windows program of the tests, linked statically so that Wine needs no
# MinGW libraries beside it; TEMPLATES: it shows the program's dialogs.
function(orb_add_windows_program name)
  cmake_parse_arguments(ARG "TEMPLATES" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  if(ARG_TEMPLATES)
    target_sources(${name} PRIVATE ${ORB_RESOURCE_SCRIPT})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/resources)
  endif()
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  target_link_options(${name} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

# The unit tests that use nothing but the platform seam, and the portable
# loopback tests, cross-compiled for Windows. CI runs them under Wine.
orb_add_windows_program(orb_windows_tests TEMPLATES LIBS orb_test_support SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/../upgrade/firmware_image_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../upgrade/progress_windows_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../base/random_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../web/md5_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../web/digest_auth_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../web/response_parsing_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../base/ipv4_address_parser_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../tftp/packets_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../tftp/listener_datagram_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../tftp/transfer_steps_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/portable_loopback_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_file_win32_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/access_list.cpp)

# The coalescing of title and bar changes, on real windows: needs a display.
orb_add_windows_program(orb_window_updates_tests LIBS orb_test_support
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/window_updates_test.cpp)

# The Windows program's ticks: the progress loops with the wait replaced by one
# that lasts a timer period of a test clock. The connecting window needs a
# display and the dialog templates.
orb_add_windows_program(orb_wait_ticks_tests TEMPLATES LIBS orb_test_support
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/wait_ticks_test.cpp)

# The run's error box and the run's windows on other threads: needs a display
# and the dialog templates.
orb_add_windows_program(orb_run_box_tests TEMPLATES LIBS orb_test_support
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/run_box_test.cpp)

# The console program's seam: its runs, their stop requests, the wake signal.
orb_add_windows_program(orb_console_seam_tests LIBS orb_test_support
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/console_seam_test.cpp)

# A Windows helper for the smoke test: finds a window by its title, reads a
# control's text, tells where a control is on the screen, and reads a file's
# access list.
orb_add_windows_program(win_probe SOURCES ${CMAKE_CURRENT_LIST_DIR}/win_probe.cpp
  ${CMAKE_CURRENT_LIST_DIR}/access_list.cpp)

# The driver of the whole runs: works the program's dialogs through their
# controls as a person would.
orb_add_windows_program(win_driver SOURCES ${CMAKE_CURRENT_LIST_DIR}/win_driver.cpp)

# The whole runs play the adapter with the Linux orb-sim, built by the default
# preset (scripts/test builds it first).
set(ORB_SIM_FOR_WINE ${PROJECT_SOURCE_DIR}/build/default/sim/orb-sim CACHE FILEPATH
    "The Linux orb-sim that the Wine whole runs talk to")
set(ORB_RRQ_THIEF_FOR_WINE ${PROJECT_SOURCE_DIR}/build/default/tests/orb-rrq-thief CACHE FILEPATH
    "The Linux orb-rrq-thief that asks for the image in the Wine run other-host")

find_program(ORB_WINE NAMES wine)
if(ORB_WINE)
  add_test(NAME wine.unit_and_loopback COMMAND ${ORB_WINE} $<TARGET_FILE:orb_windows_tests>)
  add_test(NAME wine.console_seam COMMAND ${ORB_WINE} $<TARGET_FILE:orb_console_seam_tests>)
  set_tests_properties(wine.console_seam PROPERTIES LABELS wine TIMEOUT 300 RESOURCE_LOCK wine
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all")
  add_test(NAME wine.smoke
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_smoke.sh $<TARGET_FILE:orb-upgrade> $<TARGET_FILE:win_probe>
            ${CMAKE_BINARY_DIR}/wine-artifacts)
  add_test(NAME wine.resources
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/check_resources.sh $<TARGET_FILE:orb-upgrade> ${ORB_EMBEDDED_IMAGE}
            ${CMAKE_BINARY_DIR}/wine-artifacts/resources)
  add_test(NAME wine.window_updates COMMAND xvfb-run -a ${ORB_WINE} $<TARGET_FILE:orb_window_updates_tests>)
  add_test(NAME wine.wait_ticks COMMAND xvfb-run -a ${ORB_WINE} $<TARGET_FILE:orb_wait_ticks_tests>)
  add_test(NAME wine.run_box COMMAND xvfb-run -a ${ORB_WINE} $<TARGET_FILE:orb_run_box_tests>)
  set_tests_properties(wine.unit_and_loopback wine.smoke wine.resources wine.window_updates wine.wait_ticks
    wine.run_box PROPERTIES LABELS wine TIMEOUT 300)
  set_tests_properties(wine.unit_and_loopback wine.smoke wine.window_updates wine.wait_ticks wine.run_box PROPERTIES
    ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all" RESOURCE_LOCK wine)

  # Whole upgrades, each in its own network namespace (root; skipped otherwise).
  # stalled-upload-flood (2,500 stray datagrams a second) is run by hand: on a
  # loaded machine the flood starves the program under Wine, and its intervals
  # stretch past the 1.2 times that the script allows (1.26 times seen).
  foreach(run password long-password hint escape-key cancel-in-restart-wait stalled-upload stalled-upload-stray
              wrong-password other-host old-version)
    add_test(NAME wine.upgrade.${run}
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_upgrade.sh ${run} $<TARGET_FILE:orb-upgrade>
              $<TARGET_FILE:win_driver> $<TARGET_FILE:win_probe> ${ORB_SIM_FOR_WINE} ${ORB_EMBEDDED_IMAGE}
              ${CMAKE_BINARY_DIR}/wine-artifacts/upgrade-${run})
    set_tests_properties(wine.upgrade.${run} PROPERTIES LABELS wine TIMEOUT 400 SKIP_RETURN_CODE 77
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all;ORB_RRQ_THIEF=${ORB_RRQ_THIEF_FOR_WINE}"
      RESOURCE_LOCK wine)
  endforeach()

  # Whole unattended runs of the console program, each in its own network
  # namespace (root; skipped otherwise).
  foreach(run password-json three-adapters check request-timeout stop cold-ctrl-c killed)
    add_test(NAME wine.console.${run}
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_console.sh ${run} $<TARGET_FILE:orb-upgrade-console> ${ORB_SIM_FOR_WINE}
              ${ORB_EMBEDDED_IMAGE} ${CMAKE_BINARY_DIR}/wine-artifacts/console-${run} $<TARGET_FILE:win_probe>)
    set_tests_properties(wine.console.${run} PROPERTIES LABELS wine TIMEOUT 400 SKIP_RETURN_CODE 77
      ENVIRONMENT "WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix;WINEDEBUG=-all" RESOURCE_LOCK wine)
  endforeach()

  # The installer, under Wine's msiexec in a prefix of its own.
  if(ORB_MSI)
    add_test(NAME wine.msi
      COMMAND ${CMAKE_CURRENT_LIST_DIR}/wine_msi.sh ${ORB_MSI} ${PROJECT_VERSION}
              ${PROJECT_SOURCE_DIR}/packaging/windows/make-msi.sh ${CMAKE_BINARY_DIR}
              ${PROJECT_SOURCE_DIR}/resources/orb.ico ${CMAKE_BINARY_DIR}/wine-artifacts/msi ${ORB_SIM_FOR_WINE})
    set_tests_properties(wine.msi PROPERTIES LABELS wine TIMEOUT 300 RESOURCE_LOCK wine SKIP_RETURN_CODE 77)
  endif()
endif()
