# The device web client.

# Pure tests: no sockets, no windowing.
orb_add_gtest(web_unit_tests LABELS unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/web/md5_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web/digest_auth_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web/response_parsing_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web/socket_failures_test.cpp)

# The HTTP exchange over loopback sockets (127.0.1.x) against the scripted
# server; the failure paths run in a child process with auto-answered boxes.
orb_add_gtest(web_loopback_tests LABELS integration
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/web/http_exchange_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/web/scripted_http_server_test.cpp)
