# The Qt front-end, label gui: the view in-process on Qt's offscreen
# platform, whole runs of the program through the real widgets against orb-sim
# on 127.0.6.x, the pictures of every dialog, and a person-like run of the real
# orb-upgrade under Xvfb driven with xdotool.
if(NOT TARGET orb_qt_view)
  return()
endif()

add_library(orb_qt_test_driver STATIC ${CMAKE_CURRENT_LIST_DIR}/dialogs/qt/qt_driver.cpp)
target_link_libraries(orb_qt_test_driver PUBLIC orb_qt_view orb_core)

orb_add_gtest(qt_view_tests LABELS gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/qt/qt_view_test.cpp
  LIBS orb_qt_test_driver)

orb_add_gtest(qt_whole_run_tests LABELS gui
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/dialogs/qt/qt_whole_run_test.cpp
  LIBS orb_qt_test_driver orb_whole_run_support)

# orb_qt_screenshots FOLDER: the eight dialogs and the error box as PNG files
# (scripts/qt-screenshots writes them to docs/screenshots).
add_executable(orb_qt_screenshots ${CMAKE_CURRENT_LIST_DIR}/dialogs/qt/qt_screenshots.cpp)
target_link_libraries(orb_qt_screenshots PRIVATE orb_qt_test_driver orb_core)
add_test(NAME qt_screenshots
  COMMAND orb_qt_screenshots ${CMAKE_CURRENT_BINARY_DIR}/qt-screenshots)
set_tests_properties(qt_screenshots PROPERTIES
  LABELS gui TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# A person at a desktop: Xvfb, xdotool, import. Skipped (77) without root (the
# program talks to port 80) or without those tools.
add_test(NAME qt_person_under_xvfb
  COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/dialogs/qt/xvfb_person_test.sh
          $<TARGET_FILE:orb-upgrade> $<TARGET_FILE:orb-sim> ${CMAKE_CURRENT_BINARY_DIR}/qt-person)
set_tests_properties(qt_person_under_xvfb PROPERTIES LABELS gui TIMEOUT 180 SKIP_RETURN_CODE 77)
