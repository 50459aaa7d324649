# Configures the project with ORB_FIRMWARE_IMAGE naming an image one byte
# larger than the transfer can carry: the configure step must fail and say why.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})
execute_process(COMMAND truncate -s 33553920 ${WORK_DIR}/too-large.bin RESULT_VARIABLE made)
if(NOT made EQUAL 0)
  message(FATAL_ERROR "could not make the test image")
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
          -DORB_FIRMWARE_IMAGE=${WORK_DIR}/too-large.bin -DBUILD_TESTING=OFF
  RESULT_VARIABLE configured OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(configured EQUAL 0)
  message(FATAL_ERROR "a 33,553,920-byte image was accepted")
endif()
string(REGEX REPLACE "[ \t\r\n]+" " " err "${err}")  # CMake wraps its messages
if(NOT err MATCHES "has 33553920 bytes, more than the transfer can carry: at most 33553919 bytes")
  message(FATAL_ERROR "the configure step failed without saying why:\n${err}")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
