# The portable dialog manager, its templates, the robot.
if(NOT WIN32)
  orb_add_gtest(dialogs_tests LABELS unit
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/dialogs/templates_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/dialogs/dialog_manager_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/dialogs/windres_test.cpp
  )

  # dialogs.rc as windres compiles it for the Windows program, for comparison
  # with what the portable parser reads from it.
  find_program(ORB_WINDRES NAMES x86_64-w64-mingw32-windres windres)
  if(ORB_WINDRES)
    set(res ${CMAKE_CURRENT_BINARY_DIR}/dialogs.res)
    add_custom_command(
      OUTPUT ${res}
      COMMAND ${ORB_WINDRES} dialogs.rc -O res -o ${res}
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}/resources
      DEPENDS ${PROJECT_SOURCE_DIR}/resources/dialogs.rc ${PROJECT_SOURCE_DIR}/resources/orb.ico
      COMMENT "Compiling resources/dialogs.rc with windres")
    add_custom_target(orb_dialogs_res DEPENDS ${res})
    add_dependencies(dialogs_tests orb_dialogs_res)
    target_compile_definitions(dialogs_tests PRIVATE ORB_DIALOGS_RES="${res}")
  endif()
endif()
