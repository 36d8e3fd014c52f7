add_executable(bench_ctl bench_ctl.cpp)
target_compile_definitions(bench_ctl PRIVATE QD7310_CTL="$<TARGET_FILE:qd7310-ctl>")
target_link_libraries(bench_ctl PRIVATE qd7310_ctl qd7310_boardsim)
add_dependencies(bench_ctl qd7310-ctl)
