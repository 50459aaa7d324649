# Debian packages, one per CPack component (scripts/package makes them):
#   orb-upgrade  the program, its manual page, bash completion, desktop entry,
#                icons, AppStream metainfo; the postinst grants it
#                cap_net_bind_service
#   orb-sim      the adapter simulator, its manual page and bash completion;
#                the same grant
# The version is the program's own, project(VERSION) in CMakeLists.txt.

# Manual pages and the changelog go in gzip -9n, as Debian's tools expect.
set(package_files ${CMAKE_BINARY_DIR}/package-files)
set(package_outputs)
function(orb_gzip source output)
  add_custom_command(
    OUTPUT ${output}
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing ${source}")
  set(package_outputs ${package_outputs} ${output} PARENT_SCOPE)
endfunction()
file(MAKE_DIRECTORY ${package_files})
orb_gzip(${PROJECT_SOURCE_DIR}/man/orb-upgrade.1 ${package_files}/orb-upgrade.1.gz)
orb_gzip(${PROJECT_SOURCE_DIR}/man/orb-sim.1 ${package_files}/orb-sim.1.gz)
orb_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${package_files}/changelog.gz)
add_custom_target(orb_package_files ALL DEPENDS ${package_outputs})
# Everything the packages hold, for scripts/package to build.
add_custom_target(orb_package_contents)
add_dependencies(orb_package_contents orb-upgrade orb-sim orb_package_files)
if(TARGET orb_icon_png_file)
  add_dependencies(orb_package_contents orb_icon_png_file)
endif()

# The newest changelog entry and the manual pages' headers name this version,
# or the package would lie.
file(STRINGS ${PROJECT_SOURCE_DIR}/packaging/changelog changelog_head LIMIT_COUNT 1)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
if(NOT changelog_head MATCHES "^orb-upgrade \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog begins with '${changelog_head}': add an entry for ${PROJECT_VERSION}")
endif()
foreach(page orb-upgrade orb-sim)
  file(STRINGS ${PROJECT_SOURCE_DIR}/man/${page}.1 title REGEX "^\\.TH ")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/man/${page}.1)
  if(NOT title MATCHES "\"orb-upgrade ${PROJECT_VERSION}\"")
    message(FATAL_ERROR "man/${page}.1: its .TH line (${title}) should name \"orb-upgrade ${PROJECT_VERSION}\"")
  endif()
endforeach()

foreach(component upgrade sim)
  set(package orb-${component})
  install(FILES ${package_files}/${package}.1.gz DESTINATION share/man/man1 COMPONENT ${component})
  # Where bash-completion looks for a command's completion when it is first used.
  install(FILES ${PROJECT_SOURCE_DIR}/completions/${package}
          DESTINATION share/bash-completion/completions COMPONENT ${component})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${package_files}/changelog.gz
          DESTINATION share/doc/${package} COMPONENT ${component})
endforeach()

# The maintainer scripts: the capability is granted by the postinst. CPack's
# staging install runs only the two components, not the rule of
# cmake/install_capability.cmake (which belongs to none). Removal needs no
# script: the postinst makes nothing but the capability, an attribute of the
# program's file, which dpkg deletes with it.
set(PROGRAM orb-upgrade)
set(PORTS "UDP port 69 (up to 168)")
configure_file(${PROJECT_SOURCE_DIR}/packaging/postinst.in ${package_files}/upgrade/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(PROGRAM orb-sim)
set(PORTS "TCP port 80")
configure_file(${PROJECT_SOURCE_DIR}/packaging/postinst.in ${package_files}/sim/postinst @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(ORB_PACKAGE_MAINTAINER "Seed fd939ffe maintainers <maintainers@users.noreply.c-seed-fd939ffe.example>"
    CACHE STRING "Maintainer field of the Debian packages")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orb-upgrade)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL upgrade sim)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORB_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

set(CPACK_DEBIAN_UPGRADE_PACKAGE_NAME orb-upgrade)
set(CPACK_DEBIAN_UPGRADE_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_UPGRADE_PACKAGE_SUGGESTS "fonts-wine, orb-sim")
set(CPACK_DEBIAN_UPGRADE_PACKAGE_CONTROL_EXTRA ${package_files}/upgrade/postinst)
set(CPACK_DEBIAN_UPGRADE_DESCRIPTION "firmware upgrade utility for ORB network phone adapters
orb-upgrade upgrades the firmware of an ORB network phone adapter. It walks
you through a few dialogs, reads the adapter's status page over HTTP
(answering a Digest authentication challenge when the adapter asks), serves
the firmware image that it carries over TFTP, waits for the adapter to
restart and shows the version the adapter then reports.
.
On a desktop its dialogs are Qt windows; without a display they are drawn in
the terminal.")

set(CPACK_DEBIAN_SIM_PACKAGE_NAME orb-sim)
set(CPACK_DEBIAN_SIM_PACKAGE_DEPENDS "libcap2-bin")
set(CPACK_DEBIAN_SIM_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_SIM_PACKAGE_CONTROL_EXTRA ${package_files}/sim/postinst)
set(CPACK_DEBIAN_SIM_DESCRIPTION "ORB network phone adapter simulator for orb-upgrade
orb-sim takes an ORB adapter's place on one IPv4 address: its web server
(status page, HTTP Digest authentication, upgrade trigger) and its TFTP
client, so that a whole firmware upgrade with orb-upgrade runs without
hardware. Faults (lost, duplicated or late packets, unanswered requests) can
be switched on from the command line, and every event is logged as one line.")

include(CPack)
