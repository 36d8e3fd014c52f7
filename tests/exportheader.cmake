# The firmware export as firmware takes it. For every programming command the pairs of the CSV
# and the JSON export, and those that a program built from the C headers prints, must be the
# spi_write pairs of the command's trace. All nine headers go into one file, which the host's C
# and C++ compilers must take with warnings as errors.
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

function(export format words out)
    execute_process(COMMAND "${CTL}" ${settings} export ${format} ${words}
        OUTPUT_VARIABLE text RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "export ${format} ${words}: exit ${result}")
    endif()
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

# "NAME COUNT reg=value ..." from two lists of hex or decimal numbers.
function(pairs_line name registers values out)
    list(LENGTH registers count)
    set(line "${name} ${count}")
    foreach(reg value IN ZIP_LISTS registers values)
        math(EXPR reg "${reg}")
        math(EXPR value "${value}")
        string(APPEND line " ${reg}=${value}")
    endforeach()
    set(${out} "${line}" PARENT_SCOPE)
endfunction()

# The pairs_line of every match of ALL in TEXT, whose register and value are ONE's two groups,
# each after PREFIX.
function(matched_pairs name text all one prefix out)
    string(REGEX MATCHALL "${all}" items "${text}")
    set(registers "")
    set(values "")
    foreach(item IN LISTS items)
        string(REGEX MATCH "${one}" _ "${item}")
        list(APPEND registers "${prefix}${CMAKE_MATCH_1}")
        list(APPEND values "${prefix}${CMAKE_MATCH_2}")
    endforeach()
    pairs_line(${name} "${registers}" "${values}" line)
    set(${out} "${line}" PARENT_SCOPE)
endfunction()

set(header "")
set(prints "")
set(expected "")
foreach(command IN LISTS commands)
    separate_arguments(words UNIX_COMMAND "${command}")
    string(TOUPPER "${command}" macro)
    string(REGEX REPLACE "[ -]" "_" macro "${macro}")

    execute_process(COMMAND "${CTL}" ${settings} --simulated --trace "${WORK}/trace" ${words}
        OUTPUT_QUIET)
    file(READ "${WORK}/trace" trace)
    matched_pairs(${macro} "${trace}" "spi_write\naddr =  [0-9a-f]+\ndata =  [0-9a-f]+"
        "addr =  ([0-9a-f]+)\ndata =  ([0-9a-f]+)" 0x traced)
    string(APPEND expected "${traced}\n")

    export(csv "${words}" csv)
    matched_pairs(${macro} "${csv}" "\n[0-9]+,0x[0-9A-F][0-9A-F],0x[0-9A-F][0-9A-F],"
        ",(0x..),(0x..)," "" line)

    export(json "${words}" json)
    string(JSON last LENGTH "${json}" writes)
    math(EXPR last "${last} - 1")
    set(registers "")
    set(values "")
    foreach(i RANGE ${last})
        string(JSON reg GET "${json}" writes ${i} register)
        string(JSON value GET "${json}" writes ${i} value)
        list(APPEND registers ${reg})
        list(APPEND values ${value})
    endforeach()
    pairs_line(${macro} "${registers}" "${values}" jsonLine)
    if(NOT line STREQUAL traced OR NOT jsonLine STREQUAL traced)
        message(FATAL_ERROR "${command}: the trace sends\n${traced}\nthe CSV export has\n"
            "${line}\nthe JSON export has\n${jsonLine}")
    endif()

    export(c "${words}" c)
    string(APPEND header "${c}")
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
