# The device web client.

# Pure tests: no sockets, no windowing.
orb_add_gtest(web_unit_tests LABELS unit DIR web
  SOURCES md5_test.cpp digest_auth_test.cpp response_parsing_test.cpp socket_failures_test.cpp)

# The HTTP exchange over loopback sockets (127.0.1.x) against the scripted
# server; the failure paths run in a child process with auto-answered boxes.
orb_add_gtest(web_loopback_tests LABELS integration DIR web
  SOURCES http_exchange_test.cpp scripted_http_server_test.cpp)
