# Packages made by CPack from the same install rules as a plain cmake --install: a .deb on
# Linux, a portable zip and an NSIS installer on Windows. Every program a user runs is in each.
set(CPACK_PACKAGE_NAME "qd7310-eval")
set(CPACK_PACKAGE_VENDOR "Brelvan")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Evaluation tool for the QD7310 LED-driver chip")
# Lines under 80 columns: the Debian control file keeps them as they are.
set(CPACK_PACKAGE_DESCRIPTION "\
The desktop program for programming a QD7310 LED-driver chip through its USB
HID evaluation board: sliders choose the calibration pulse, the LED current and
the timing of up to three light pulses; the train buttons draw the pulse train
and write it into the chip's registers.
With a demo on a simulated board, a command-line tool for scripting the chip,
a check of the link to a real board, and the udev rule that lets the user at
the seat open the board without root.")
set(CPACK_PACKAGE_CONTACT "QD7310 evaluation tool developers <qd7310-eval@example.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.com/qd7310-eval")

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows/windows.cmake)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    include(${CMAKE_CURRENT_LIST_DIR}/udev.cmake)
    include(${CMAKE_CURRENT_LIST_DIR}/deb/deb.cmake)
endif()

include(CPack)
