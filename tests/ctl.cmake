qd7310_add_test(tst_ctl LIBS qd7310_ctl qd7310_boardsim)
target_compile_definitions(tst_ctl PRIVATE QD7310_CTL="$<TARGET_FILE:qd7310-ctl>"
    QD7310_EVAL="$<TARGET_FILE:qd7310-eval>" QD7310_VERSION="${PROJECT_VERSION}")
add_dependencies(tst_ctl qd7310-ctl qd7310-eval)

# The C header, nine exports in one file, through the host's C and C++ compilers.
if(NOT CMAKE_CROSSCOMPILING)
    add_test(NAME exportheader COMMAND ${CMAKE_COMMAND} -DCTL=$<TARGET_FILE:qd7310-ctl>
        -DWORK=${CMAKE_CURRENT_BINARY_DIR}/exportheader
        -P ${CMAKE_CURRENT_SOURCE_DIR}/exportheader.cmake)
endif()
