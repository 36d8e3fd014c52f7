# Checks a Windows install folder against the import tables of what is in it: every DLL that a
# program or plugin loads, directly or through another DLL, must be in the folder unless Windows
# itself provides it, and every DLL at the top of the folder must be loaded by something.
# Run by cpack on its staging folder before it packs, and by hand:
#   cmake -DQD7310_DLL_DIR=<folder> [-DQD7310_OBJDUMP=<objdump>] -P checkdlls.cmake

cmake_policy(VERSION 3.25)

# The DLLs that come with Windows (10 and later, as Qt 6 needs), and its API sets. A new one
# here is a new system dependency: check that every supported Windows has it before adding it.
set(system_dlls
    advapi32 authz comdlg32 d3d9 d3d11 dwmapi dwrite dxgi gdi32 hid imm32 kernel32 mpr msvcrt
    netapi32 ole32 oleaut32 setupapi shcore shell32 shlwapi user32 userenv uxtheme version winmm
    ws2_32 wtsapi32)

if(NOT QD7310_DLL_DIR)
    # Under cpack: the staging folder of the generator running now.
    set(QD7310_DLL_DIR "${CPACK_TEMPORARY_DIRECTORY}")
endif()
if(NOT QD7310_OBJDUMP)
    set(QD7310_OBJDUMP "${CPACK_QD7310_OBJDUMP}")
endif()
if(NOT QD7310_OBJDUMP)
    set(QD7310_OBJDUMP x86_64-w64-mingw32-objdump)
endif()
if(NOT IS_DIRECTORY "${QD7310_DLL_DIR}")
    message(FATAL_ERROR "DLL check: no folder '${QD7310_DLL_DIR}'")
endif()

# Programs and plugins are where loading starts; the DLLs at the top are what they may load.
file(GLOB programs RELATIVE "${QD7310_DLL_DIR}" "${QD7310_DLL_DIR}/*.exe")
file(GLOB plugins RELATIVE "${QD7310_DLL_DIR}" "${QD7310_DLL_DIR}/*/*.dll")
file(GLOB shipped RELATIVE "${QD7310_DLL_DIR}" "${QD7310_DLL_DIR}/*.dll")
if(NOT programs)
    message(FATAL_ERROR "DLL check: no programs in ${QD7310_DLL_DIR}")
endif()
set(shipped_lower)
foreach(dll IN LISTS shipped)
    string(TOLOWER "${dll}" lower)
    list(APPEND shipped_lower "${lower}")
    set(name_of_${lower} "${dll}")
endforeach()

set(queue ${programs} ${plugins})
set(needed)
set(problems)
while(queue)
    list(POP_FRONT queue file)
    execute_process(COMMAND "${QD7310_OBJDUMP}" -p "${QD7310_DLL_DIR}/${file}"
                    OUTPUT_VARIABLE dump RESULT_VARIABLE failed ERROR_VARIABLE error)
    if(failed)
        message(FATAL_ERROR "DLL check: ${QD7310_OBJDUMP} -p ${file} failed: ${error}")
    endif()
    string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
    foreach(import IN LISTS imports)
        string(REGEX REPLACE "^DLL Name: " "" dll "${import}")
        string(STRIP "${dll}" dll)
        string(TOLOWER "${dll}" lower)
        string(REGEX REPLACE "\\.dll$" "" base "${lower}")
        if(lower IN_LIST shipped_lower)
            if(NOT lower IN_LIST needed)
                list(APPEND needed "${lower}")
                list(APPEND queue "${name_of_${lower}}")
            endif()
        elseif(NOT base IN_LIST system_dlls AND NOT base MATCHES "^api-ms-win-")
            list(APPEND problems "missing ${dll}, loaded by ${file}")
        endif()
    endforeach()
endwhile()
foreach(lower IN LISTS shipped_lower)
    if(NOT lower IN_LIST needed)
        list(APPEND problems "unneeded ${name_of_${lower}}: nothing loads it")
    endif()
endforeach()

list(LENGTH programs program_count)
list(LENGTH plugins plugin_count)
list(LENGTH shipped dll_count)
if(problems)
    list(REMOVE_DUPLICATES problems)
    list(JOIN problems "\n  " text)
    message(FATAL_ERROR "DLL check of ${QD7310_DLL_DIR} failed:\n  ${text}")
endif()
message(STATUS "DLL check: ${program_count} programs, ${plugin_count} plugins and "
               "${dll_count} DLLs agree with their import tables")
