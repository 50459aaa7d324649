# Linux: orb-upgrade binds the TFTP port 69 (to 168) and orb-sim the HTTP port
# 80, which needs root or the capability CAP_NET_BIND_SERVICE. Installing as
# root grants the capability to the installed programs, so that a person can
# run them without root afterwards:
#
#   sudo cmake --install build/default            # /usr/local/bin
#
# Without root (or with DESTDIR set, for a package) nothing is granted, and the
# install says what to run instead.
# The Debian packages (cmake/package.cmake) do not run this: their postinst
# grants the capability.
install(CODE [[
  foreach(program orb-upgrade orb-sim)
    set(path "${CMAKE_INSTALL_PREFIX}/bin/${program}")
    if(NOT EXISTS "$ENV{DESTDIR}${path}")
      continue()
    endif()
    find_program(ORB_SETCAP setcap PATHS /usr/sbin /sbin)
    execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(NOT "$ENV{DESTDIR}" STREQUAL "")
      message(STATUS "DESTDIR is set: grant the capability when installing the package: "
                     "setcap cap_net_bind_service=+ep ${path}")
    elseif(NOT uid STREQUAL "0")
      message(STATUS "Not root: to run ${program} without root, run: "
                     "sudo setcap cap_net_bind_service=+ep ${path}")
    elseif(NOT ORB_SETCAP)
      message(WARNING "setcap not found (Debian: libcap2-bin): ${program} will need root to bind its ports")
    else()
      execute_process(COMMAND "${ORB_SETCAP}" cap_net_bind_service=+ep "${path}" RESULT_VARIABLE failed)
      if(failed)
        message(WARNING "setcap failed for ${path} (a file system without capabilities?): "
                        "${program} will need root to bind its ports")
      else()
        message(STATUS "Granted cap_net_bind_service to ${path}")
      endif()
    endif()
  endforeach()
]])
