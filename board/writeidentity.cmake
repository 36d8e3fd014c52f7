# Writes boardidentity.h into OUTPUT_DIR for builds outside CMake's own configure step:
#   cmake -DOUTPUT_DIR=<dir> -P board/writeidentity.cmake
include(${CMAKE_CURRENT_LIST_DIR}/identity.cmake)
configure_file(${CMAKE_CURRENT_LIST_DIR}/boardidentity.h.in ${OUTPUT_DIR}/boardidentity.h @ONLY)
