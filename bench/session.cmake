# The session driven from Python, against a process per command, and its soak; run on demand:
#   cmake --build build --target bench_session
find_package(Python3 3.9 COMPONENTS Interpreter)
if(Python3_Interpreter_FOUND)
    add_custom_target(bench_session
        COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/bench_session.py
                --program $<TARGET_FILE:qd7310-ctl>
        DEPENDS qd7310-ctl USES_TERMINAL VERBATIM)
endif()
