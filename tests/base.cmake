# What every layer uses: the random generator, the address parsers, hexadecimal
# text and the terminal escape, the diagnostics log and its masking.
orb_add_gtest(base_tests LABELS unit DIR base
  SOURCES random_test.cpp ipv4_address_parser_test.cpp ipv4_text_test.cpp hex_test.cpp log_masking_test.cpp
          diagnostics_log_test.cpp)
