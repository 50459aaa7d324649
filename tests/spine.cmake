# Start-up, the firmware image, the random generator, the own-address list.
orb_add_gtest(spine_tests LABELS unit
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/spine/firmware_image_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/spine/embedded_image_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/spine/random_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/spine/startup_test.cpp
  LIBS orb_embedded_image)
target_compile_definitions(spine_tests PRIVATE ORB_EMBEDDED_IMAGE_PATH="${ORB_EMBEDDED_IMAGE}")

# Prints the size and checksum of the image it carries; the override test
# builds it against another image.
add_executable(orb_image_probe ${CMAKE_CURRENT_LIST_DIR}/spine/image_probe.cpp)
target_link_libraries(orb_image_probe PRIVATE orb_embedded_image)

add_test(NAME spine.firmware_image_override
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/image-override
    -DGENERATOR=${CMAKE_GENERATOR}
    -P ${CMAKE_CURRENT_LIST_DIR}/spine/image_override_test.cmake)
set_tests_properties(spine.firmware_image_override PROPERTIES LABELS integration TIMEOUT 300)

add_test(NAME spine.firmware_image_too_large
  COMMAND ${CMAKE_COMMAND}
    -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    -DWORK_DIR=${CMAKE_CURRENT_BINARY_DIR}/image-too-large
    -DGENERATOR=${CMAKE_GENERATOR}
    -P ${CMAKE_CURRENT_LIST_DIR}/spine/image_too_large_test.cmake)
set_tests_properties(spine.firmware_image_too_large PROPERTIES LABELS integration TIMEOUT 300)
