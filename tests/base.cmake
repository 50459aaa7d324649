# What every layer uses: the random generator, the typed-address parser, the
# diagnostics log and its masking.
orb_add_gtest(base_tests LABELS unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/base/random_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/base/ipv4_address_parser_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/base/log_masking_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/base/diagnostics_log_test.cpp)
