# The Python client's tests (python/tests) under pytest, against this build's qd7310-ctl on the
# simulated board, their board case once more with qd7310-ctl on a board emulated by umockdev,
# and pip's install of python/ into a fresh venv (python3-venv, with Debian's setuptools and
# wheel). Only where a Python 3.9 or later with pytest is found (python3-pytest).
if(CMAKE_CROSSCOMPILING)
    return()
endif()
include(${PROJECT_SOURCE_DIR}/cmake/findpython.cmake)
qd7310_find_python(QD7310_PYTEST_PYTHON
    "import sys, pytest; sys.exit(sys.version_info < (3, 9))")
if(NOT QD7310_PYTEST_PYTHON)
    message(STATUS "no python3 with pytest (package python3-pytest): skipping the Python tests")
    return()
endif()

set(_qd7310_pytest ${QD7310_PYTEST_PYTHON} -m pytest -q -p no:cacheprovider
    ${PROJECT_SOURCE_DIR}/python/tests)
set(_qd7310_python_env "QD7310_CTL=$<TARGET_FILE:qd7310-ctl>"
    "PYTHONPATH=${PROJECT_SOURCE_DIR}/python" "PYTHONDONTWRITEBYTECODE=1")
add_test(NAME python_client COMMAND ${_qd7310_pytest})
set_tests_properties(python_client PROPERTIES TIMEOUT 300 ENVIRONMENT "${_qd7310_python_env}")
add_test(NAME python_venv_install COMMAND ${_qd7310_pytest} -k fresh_venv)
set_tests_properties(python_venv_install PROPERTIES TIMEOUT 300
    ENVIRONMENT "${_qd7310_python_env};QD7310_VENV_VERSION=${PROJECT_VERSION}")

# _qd7310_preload comes from usbemulation.cmake, with the sanitizer runtime ahead when needed.
if(TARGET qd7310-usbboard)
    add_test(NAME python_client_emulated_board COMMAND ${_qd7310_pytest} -k emulated_board)
    set_tests_properties(python_client_emulated_board PROPERTIES TIMEOUT 300
        ENVIRONMENT "${_qd7310_python_env};QD7310_USBBOARD=$<TARGET_FILE:qd7310-usbboard>;QD7310_UMOCKDEV_PRELOAD=${_qd7310_preload}"
        ENVIRONMENT_MODIFICATION "LIBUSB_DEBUG=unset:")
endif()
