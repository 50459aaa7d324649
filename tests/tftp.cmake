# The TFTP listener and the transfer session.
orb_add_gtest(tftp_unit_tests LABELS unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tftp/packets_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tftp/listener_datagram_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tftp/transfer_steps_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tftp/restart_wait_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tftp/socket_failures_test.cpp)

# Loopback on 127.0.3.x; children run the listener and the transfer as the
# program does.
add_library(orb_tftp_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tftp/tftp_peer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tftp/tftp_test_run.cpp)
target_link_libraries(orb_tftp_test_support PUBLIC orb_test_support)

orb_add_gtest(tftp_loopback_tests LABELS integration
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/tftp/session_loopback_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/tftp/listener_loopback_test.cpp
  LIBS orb_tftp_test_support)

orb_add_gtest(tftp_peer_tests LABELS peer
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/tftp/curl_peer_test.cpp
  LIBS orb_tftp_test_support)
