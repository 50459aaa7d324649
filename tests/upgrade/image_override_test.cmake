# Builds the project with ORB_FIRMWARE_IMAGE naming a file of our own and checks
# that the image the build links in is exactly that file.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

# 3000 bytes with a header of another model and version: not the sample image.
set(content "")
foreach(i RANGE 0 299)
  string(APPEND content "orb5100-v${i}")
endforeach()
string(SUBSTRING "${content}" 0 3000 content)
file(WRITE ${WORK_DIR}/custom.bin "${content}")

execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
          -DORB_FIRMWARE_IMAGE=${WORK_DIR}/custom.bin -DCMAKE_BUILD_TYPE=Release
  RESULT_VARIABLE configured OUTPUT_QUIET)
if(NOT configured EQUAL 0)
  message(FATAL_ERROR "configure with ORB_FIRMWARE_IMAGE failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/build --target orb_image_probe
                RESULT_VARIABLE built OUTPUT_QUIET)
if(NOT built EQUAL 0)
  message(FATAL_ERROR "building the probe failed")
endif()
execute_process(COMMAND ${WORK_DIR}/build/tests/orb_image_probe OUTPUT_VARIABLE probe OUTPUT_STRIP_TRAILING_WHITESPACE)

file(READ ${WORK_DIR}/custom.bin hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
if(NOT probe MATCHES "^${size} ")
  message(FATAL_ERROR "embedded size differs: probe says '${probe}', file has ${size} bytes")
endif()
string(SHA256 expected "${content}")
file(SHA256 ${WORK_DIR}/custom.bin actual)
if(NOT expected STREQUAL actual)
  message(FATAL_ERROR "test file was not written as intended")
endif()
execute_process(COMMAND ${WORK_DIR}/build/tests/orb_image_probe --dump ${WORK_DIR}/dumped.bin)
file(SHA256 ${WORK_DIR}/dumped.bin dumped)
if(NOT dumped STREQUAL actual)
  message(FATAL_ERROR "embedded bytes differ from ORB_FIRMWARE_IMAGE")
endif()
message(STATUS "ORB_FIRMWARE_IMAGE honoured: ${probe}")
