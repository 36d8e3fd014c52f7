# The libusb platform layer against boards emulated at the kernel interface (sysfs and usbfs) by
# umockdev. Only meaningful where the board library is built on that backend.
get_target_property(_qd7310_board_sources qd7310_board SOURCES)
if(NOT "platform/hidplatform_libusb.cpp" IN_LIST _qd7310_board_sources)
    return()
endif()
find_package(PkgConfig)
if(PkgConfig_FOUND)
    pkg_check_modules(QD7310_UMOCKDEV IMPORTED_TARGET umockdev-1.0)
    # The test asks libusb itself for its device order; its own prefix keeps board/'s lookup apart.
    pkg_check_modules(QD7310_TEST_LIBUSB IMPORTED_TARGET libusb-1.0)
endif()
if(QD7310_UMOCKDEV_FOUND)
    set(QD7310_UMOCKDEV_PRELOAD "${QD7310_UMOCKDEV_LIBDIR}/libumockdev-preload.so.0")
endif()
if(NOT QD7310_UMOCKDEV_FOUND OR NOT QD7310_TEST_LIBUSB_FOUND OR NOT EXISTS "${QD7310_UMOCKDEV_PRELOAD}")
    message(STATUS "umockdev not found (packages umockdev, libumockdev-dev): "
                   "skipping the emulated USB tests")
    return()
endif()

# umockdev's preload library must be in the process from its start to redirect /sys and /dev;
# this is what umockdev-wrapper does. A shared ASan runtime (GCC's) insists on coming first in
# the library list, so the sanitizer build preloads it ahead of umockdev. Clang links its runtime
# statically and needs nothing extra.
set(_qd7310_preload "${QD7310_UMOCKDEV_PRELOAD}")
if(QD7310_SANITIZE)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                    OUTPUT_VARIABLE _qd7310_asan OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(IS_ABSOLUTE "${_qd7310_asan}" AND EXISTS "${_qd7310_asan}")
        set(_qd7310_preload "${_qd7310_asan}:${_qd7310_preload}")
    endif()
endif()

add_library(qd7310_usbemulation STATIC
    usbemulation/emulatedbus.h usbemulation/emulatedbus.cpp
    umockdev/emulatedusbbus.h umockdev/emulatedusbbus.cpp
    umockdev/usbdescriptors.h umockdev/usbdescriptors.cpp
    umockdev/emulationsupport.h umockdev/emulationsupport.cpp
)
target_include_directories(qd7310_usbemulation PUBLIC umockdev usbemulation)
target_link_libraries(qd7310_usbemulation PUBLIC
    Qt6::Core qd7310_boardsim PkgConfig::QD7310_UMOCKDEV PkgConfig::QD7310_TEST_LIBUSB)

foreach(suite discovery exchange)
    set(name tst_usbemulation_${suite})
    add_executable(${name} usbemulation/${name}.cpp)
    target_link_libraries(${name} PRIVATE Qt6::Test qd7310_usbemulation)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 300
        ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LD_PRELOAD=${_qd7310_preload}"
        # A refused device must leave standard error empty; libusb's own debug log would not.
        ENVIRONMENT_MODIFICATION "LIBUSB_DEBUG=unset:")
endforeach()

# The Linux side of the Windows stage's end-to-end run: a program started with a board present.
add_executable(qd7310-usbboard umockdev/usbboard_main.cpp)
target_link_libraries(qd7310-usbboard PRIVATE qd7310_usbemulation)
