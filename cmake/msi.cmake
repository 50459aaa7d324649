# The Windows installer of both programs (scripts/package-msi): made with
# msitools' wixl and msibuild by packaging/windows/make-msi.sh, when they are
# installed.
find_program(ORB_WIXL NAMES wixl)
find_program(ORB_MSIBUILD NAMES msibuild)
if(NOT ORB_WIXL OR NOT ORB_MSIBUILD)
  message(STATUS "No wixl or msibuild (Debian: msitools, wixl): the Windows installer is not built")
  return()
endif()

set(ORB_MSI ${CMAKE_BINARY_DIR}/orb-upgrade-${PROJECT_VERSION}-x64.msi CACHE INTERNAL "The Windows installer")
set(make_msi ${PROJECT_SOURCE_DIR}/packaging/windows/make-msi.sh)
add_custom_command(
  OUTPUT ${ORB_MSI}
  COMMAND ${make_msi} ${PROJECT_VERSION} ${CMAKE_BINARY_DIR} ${PROJECT_SOURCE_DIR}/resources/orb.ico ${ORB_MSI}
  DEPENDS orb-upgrade orb-upgrade-console ${make_msi} ${PROJECT_SOURCE_DIR}/packaging/windows/orb-upgrade.wxs
          ${PROJECT_SOURCE_DIR}/resources/orb.ico
  COMMENT "Making the Windows installer")
add_custom_target(orb_msi ALL DEPENDS ${ORB_MSI})
