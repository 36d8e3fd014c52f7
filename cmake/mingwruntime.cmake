# The mingw-w64 compiler's own runtime DLLs, which every program built with it loads: the Windows
# packages ship them and the tests under Wine load them from where the compiler keeps them.
# Sets QD7310_MINGW_RUNTIME_DLLS (absolute paths) and QD7310_MINGW_RUNTIME_DIRS (their folders).
set(QD7310_MINGW_RUNTIME_DLLS)
set(QD7310_MINGW_RUNTIME_DIRS)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                    OUTPUT_VARIABLE _qd7310_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
    # The compiler echoes a name it does not know unchanged.
    if(NOT IS_ABSOLUTE "${_qd7310_dll}" OR NOT EXISTS "${_qd7310_dll}")
        message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not know where ${dll} is")
    endif()
    # Without the ../ steps, but under its own name: it is installed as it is named here.
    get_filename_component(_qd7310_dll "${_qd7310_dll}" ABSOLUTE)
    get_filename_component(_qd7310_dir "${_qd7310_dll}" DIRECTORY)
    list(APPEND QD7310_MINGW_RUNTIME_DLLS "${_qd7310_dll}")
    list(APPEND QD7310_MINGW_RUNTIME_DIRS "${_qd7310_dir}")
endforeach()
list(REMOVE_DUPLICATES QD7310_MINGW_RUNTIME_DIRS)
