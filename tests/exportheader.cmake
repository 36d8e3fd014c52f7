# The firmware export as firmware takes it: the C header of every programming command, all in one
# file, compiled by the host's C and C++ compilers with warnings as errors; the program built from
# it prints each table's pairs, which must be the spi_write pairs of the same command's trace.
#   cmake -DCTL=qd7310-ctl -DWORK=DIR -P exportheader.cmake
find_program(CC NAMES cc REQUIRED)
find_program(CXX NAMES c++ REQUIRED)
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

set(commands "reset" "follow 1" "follow 2" "change-current" "train 1" "train 2" "train 3"
    "run-once 1" "run-once 2")
# Every setting at a position of its own, so a register out of place shows.
set(settings --calibration 42 --current 5 --rise1 1 --on1 2 --fall1 3 --off1 4 --rise2 5 --on2 6
    --fall2 7 --off2 8 --rise3 9 --on3 10 --fall3 11 --off3 31)

set(header "")
set(prints "")
set(expected "")
foreach(command IN LISTS commands)
    separate_arguments(words UNIX_COMMAND "${command}")
    execute_process(COMMAND "${CTL}" ${settings} export c ${words}
        OUTPUT_VARIABLE export RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "export c ${command}: exit ${result}")
    endif()
    string(APPEND header "${export}")

    execute_process(COMMAND "${CTL}" ${settings} --simulated --trace "${WORK}/trace" ${words}
        OUTPUT_QUIET RESULT_VARIABLE result)
    file(READ "${WORK}/trace" trace)
    string(REGEX MATCHALL "spi_write\naddr =  [0-9a-f]+\ndata =  [0-9a-f]+" writes "${trace}")
    string(TOUPPER "${command}" macro)
    string(REGEX REPLACE "[ -]" "_" macro "${macro}")
    list(LENGTH writes count)
    set(line "${macro} ${count}")
    foreach(write IN LISTS writes)
        string(REGEX MATCH "addr =  ([0-9a-f]+)\ndata =  ([0-9a-f]+)" _ "${write}")
        math(EXPR reg "0x${CMAKE_MATCH_1}")
        math(EXPR value "0x${CMAKE_MATCH_2}")
        string(APPEND line " ${reg}=${value}")
    endforeach()
    string(APPEND expected "${line}\n")
    string(APPEND prints "    PRINT(${macro});\n")
endforeach()
file(WRITE "${WORK}/qd7310_writes.h" "${header}")

file(WRITE "${WORK}/main.c" "#include <stdio.h>
#include \"qd7310_writes.h\"
#include \"qd7310_writes.h\" /* once more: the guards make it cost nothing */

#define PRINT(name) \\
    do { \\
        static const struct qd7310_write seq[] = QD7310_##name##_WRITES; \\
        size_t i; \\
        printf(\"%s %d\", #name, QD7310_##name##_COUNT); \\
        for (i = 0; i < sizeof seq / sizeof seq[0]; ++i) \\
            printf(\" %d=%d\", seq[i].reg, seq[i].value); \\
        printf(\"\\n\"); \\
    } while (0)

int main(void)
{
${prints}    return 0;
}
")

set(flags -Wall -Wextra -pedantic -Werror)
foreach(compiler IN ITEMS "${CC};-x;c;-std=c99" "${CXX};-x;c++;-std=c++11")
    execute_process(COMMAND ${compiler} ${flags} -o "${WORK}/printwrites" "${WORK}/main.c"
        RESULT_VARIABLE result ERROR_VARIABLE errors)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${compiler} does not take the header:\n${errors}")
    endif()
    execute_process(COMMAND "${WORK}/printwrites" OUTPUT_VARIABLE printed)
    if(NOT printed STREQUAL expected)
        message(FATAL_ERROR "${compiler}: the header's pairs\n${printed}differ from the trace's\n"
            "${expected}")
    endif()
endforeach()
message(STATUS "${expected}")
