# The window driven as a screen reader drives it (AT-SPI under Xvfb), and started on a headless
# Weston with Qt's Wayland plugin. Each test says why it skips when a tool is missing.
if(CMAKE_CROSSCOMPILING OR NOT CMAKE_SYSTEM_NAME STREQUAL "Linux")
    return()
endif()
# Debian's pyatspi is for its own python3; without it, any python3 runs the tests to say that
# they skip.
include(${PROJECT_SOURCE_DIR}/cmake/findpython.cmake)
qd7310_find_python(QD7310_ATSPI_PYTHON "import pyatspi")
find_program(QD7310_ANY_PYTHON NAMES python3)
set(_qd7310_python ${QD7310_ATSPI_PYTHON})
if(NOT QD7310_ATSPI_PYTHON)
    set(_qd7310_python ${QD7310_ANY_PYTHON})
endif()
if(NOT _qd7310_python)
    message(STATUS "no python3: skipping the screen-reader and Wayland tests")
    return()
endif()
foreach(test atspi wayland)
    add_test(NAME desktop_${test} COMMAND ${_qd7310_python}
        ${CMAKE_CURRENT_SOURCE_DIR}/desktop/test_${test}.py $<TARGET_FILE:qd7310-eval-demo>)
    set_tests_properties(desktop_${test} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120
        ENVIRONMENT "PYTHONDONTWRITEBYTECODE=1")
endforeach()
