# qd7310_find_python(VAR CODE): the first python3 on PATH that runs CODE without an error, in the
# cache variable VAR (VAR-NOTFOUND when none does). Debian's Python modules belong to its own
# python3, which need not be the first on PATH, so the search goes on past one that fails.
function(_qd7310_python_runs result candidate)
    execute_process(COMMAND ${candidate} -c "${_qd7310_python_code}"
                    RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
    if(failed)
        set(${result} FALSE PARENT_SCOPE)
    endif()
endfunction()

function(qd7310_find_python var code)
    set(_qd7310_python_code "${code}")
    find_program(${var} NAMES python3 VALIDATOR _qd7310_python_runs)
endfunction()
