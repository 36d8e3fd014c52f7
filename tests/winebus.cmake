# The Windows platform layer against boards emulated inside Wine's own HID stack: a test-only HID
# minidriver (winebus/driver/) plays each board and relays to the test process. The suites run in
# a Wine prefix of their own, where tst_winebus_install puts the driver once; they take turns on
# the device. Only when cross-compiling for Windows; the driver is never installed or packed.
if(NOT (CMAKE_CROSSCOMPILING AND WIN32))
    return()
endif()

# A native-subsystem image importing only ntoskrnl.exe and hidclass.sys: a single kernel32 import
# makes Wine load it as a DLL, which fails. Built by the compiler directly, without CMake's
# default Windows libraries.
set(_qd7310_driver ${CMAKE_CURRENT_BINARY_DIR}/qd7310sim.sys)
set(_qd7310_driver_flags -std=c11 -O2 -Wall -Wextra -Wpedantic)
if(QD7310_WERROR)
    list(APPEND _qd7310_driver_flags -Werror)
endif()
add_custom_command(OUTPUT ${_qd7310_driver}
    COMMAND ${CMAKE_CXX_COMPILER} -x c ${_qd7310_driver_flags} -nostdlib -shared
            -Wl,--subsystem,native -Wl,--entry,DriverEntry -o ${_qd7310_driver}
            ${CMAKE_CURRENT_SOURCE_DIR}/winebus/driver/qd7310sim.c -lntoskrnl -lhidclass
    DEPENDS winebus/driver/qd7310sim.c winebus/driver/relay.h
    COMMENT "Building the test HID minidriver qd7310sim.sys" VERBATIM)
add_custom_target(qd7310sim ALL DEPENDS ${_qd7310_driver})
configure_file(winebus/driver/qd7310sim.inf qd7310sim.inf COPYONLY)

add_library(qd7310_winebus STATIC
    usbemulation/emulatedbus.h usbemulation/emulatedbus.cpp
    winebus/wineboard.h winebus/wineboard.cpp
    winebus/winebusdevice.h winebus/winebusdevice.cpp
    winebus/emulatedusbbus.h winebus/emulatedusbbus.cpp
    winebus/emulationsupport.h winebus/emulationsupport.cpp
)
target_include_directories(qd7310_winebus PUBLIC winebus winebus/driver usbemulation)
target_link_libraries(qd7310_winebus PUBLIC Qt6::Core qd7310_boardsim setupapi hid newdev ntdll)
add_dependencies(qd7310_winebus qd7310sim)

set(_qd7310_winebus_environment ${QD7310_WINE_TEST_ENVIRONMENT})
list(TRANSFORM _qd7310_winebus_environment REPLACE "wineprefix-tests$" "wineprefix-winebus")
function(qd7310_add_winebus_test name source)
    qd7310_add_test(${name} SOURCES ${source} LIBS qd7310_winebus ${ARGN})
    set_tests_properties(${name} PROPERTIES ENVIRONMENT
        "QT_QPA_PLATFORM=offscreen;${_qd7310_winebus_environment}"
        RESOURCE_LOCK qd7310_winebus)
endfunction()

qd7310_add_winebus_test(tst_winebus_install winebus/tst_winebus_install.cpp)
set_tests_properties(tst_winebus_install PROPERTIES FIXTURES_SETUP qd7310_winebus)
# The cases shared with the usbfs bus, and those new to Windows.
qd7310_add_winebus_test(tst_usbemulation_discovery usbemulation/tst_usbemulation_discovery.cpp)
qd7310_add_winebus_test(tst_usbemulation_exchange usbemulation/tst_usbemulation_exchange.cpp)
qd7310_add_winebus_test(tst_winebus winebus/tst_winebus.cpp qd7310_app)
target_compile_definitions(tst_winebus PRIVATE QD7310_CTL="$<TARGET_FILE:qd7310-ctl>")
target_include_directories(tst_winebus PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}) # boardwindow.h
add_dependencies(tst_winebus qd7310-ctl)
set_tests_properties(tst_usbemulation_discovery tst_usbemulation_exchange tst_winebus
                     PROPERTIES FIXTURES_REQUIRED qd7310_winebus)

# The Windows side of the end-to-end run of the shipped programs (scripts/windows/smoke-wine.sh).
add_executable(qd7310-wineboard winebus/wineboard_main.cpp)
target_link_libraries(qd7310-wineboard PRIVATE qd7310_winebus)
