# The dialogs, the device query runner and the upgrade sequence, as whole
# program runs in child processes against a scripted adapter on 127.0.2.x:80.
orb_add_gtest(sequence_tests LABELS e2e
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/sequence/program_run.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sequence/dialogs_flow_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sequence/status_query_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/sequence/digest_flow_test.cpp
  LIBS orb_embedded_image)
