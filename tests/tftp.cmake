# The TFTP listener and the transfer session.
orb_add_gtest(tftp_unit_tests LABELS unit DIR tftp
  SOURCES packets_test.cpp listener_datagram_test.cpp transfer_steps_test.cpp socket_failures_test.cpp)

# Children that run the listener and the transfer as the program does, and a
# scripted peer, for the loopback tests of tests/upgrade on 127.0.3.x.
add_library(orb_tftp_test_support STATIC
  ${CMAKE_CURRENT_LIST_DIR}/tftp/tftp_peer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tftp/tftp_test_run.cpp)
target_link_libraries(orb_tftp_test_support PUBLIC orb_test_support)
