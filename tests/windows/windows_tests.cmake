# The portable unit and loopback tests, cross-compiled for Windows. They run
# under Wine (label wine).
add_executable(orb_windows_tests
  ${CMAKE_CURRENT_LIST_DIR}/../spine/firmware_image_test.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../spine/random_test.cpp
)
target_link_libraries(orb_windows_tests PRIVATE orb_test_support)
target_link_options(orb_windows_tests PRIVATE -static -static-libgcc -static-libstdc++)
