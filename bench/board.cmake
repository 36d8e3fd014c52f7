# Host-side cost of the board link.
add_executable(bench_board bench_board.cpp)
target_link_libraries(bench_board PRIVATE qd7310_boardsim)
