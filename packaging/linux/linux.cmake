# What makes the tool a desktop program on Linux, for any prefix: the desktop entries, the icon,
# the AppStream metainfo and a man page for every program. The udev rule is packaging/udev.cmake.
include(GNUInstallDirs)
# The board's IDs in the form the modalias wants: upper-case hex digits, no 0x.
include(${CMAKE_SOURCE_DIR}/board/identity.cmake)
string(TOUPPER "${QD7310_BOARD_VENDOR_HEX}" QD7310_BOARD_VENDOR_HEX_UPPER)
string(TOUPPER "${QD7310_BOARD_PRODUCT_HEX}" QD7310_BOARD_PRODUCT_HEX_UPPER)

set(QD7310_LINUX_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QD7310_LINUX_OUT ${CMAKE_BINARY_DIR}/packaging/linux)
# The icon name of every desktop entry and of the window's installed icon.
set(QD7310_ICON_NAME qd7310-eval)

install(FILES ${QD7310_LINUX_DIR}/qd7310-eval.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
# The demo's entry only where the demo is built, so no menu entry points at a missing program.
if(TARGET qd7310-eval-demo)
    install(FILES ${QD7310_LINUX_DIR}/qd7310-eval-demo.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
endif()
# The setup files' type, which the window's desktop entry takes; the system's triggers rebuild the
# MIME and desktop databases when it comes and goes.
install(FILES ${QD7310_LINUX_DIR}/qd7310-eval.mime.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME qd7310-eval.xml)
install(FILES ${CMAKE_SOURCE_DIR}/app/images/brelvan_icon48x48.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps
        RENAME ${QD7310_ICON_NAME}.png)
install(FILES ${QD7310_LINUX_DIR}/qd7310-eval.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps
        RENAME ${QD7310_ICON_NAME}.svg)

# AppStream: the component ID is the homepage's domain reversed, plus the package name.
set(QD7310_APPSTREAM_ID "com.example.qd7310_eval")
# The release date (set beside the version in the top CMakeLists) in the forms that the man pages
# ("December 2026") and the Debian changelog ("Mon, 07 Dec 2026 12:00:00 +0000") want.
if(NOT QD7310_RELEASE_DATE MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "QD7310_RELEASE_DATE '${QD7310_RELEASE_DATE}' is not YYYY-MM-DD")
endif()
set(_qd7310_year ${CMAKE_MATCH_1})
set(_qd7310_day ${CMAKE_MATCH_3})
math(EXPR _qd7310_month_index "${CMAKE_MATCH_2} - 1")
set(_qd7310_months January February March April May June July August September October November
                   December)
list(GET _qd7310_months ${_qd7310_month_index} _qd7310_month_name)
string(SUBSTRING ${_qd7310_month_name} 0 3 _qd7310_month_abbr)
# The weekday by Sakamoto's method: January and February count with the year before.
set(_qd7310_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
list(GET _qd7310_offsets ${_qd7310_month_index} _qd7310_offset)
set(_qd7310_y ${_qd7310_year})
if(_qd7310_month_index LESS 2)
    math(EXPR _qd7310_y "${_qd7310_y} - 1")
endif()
math(EXPR _qd7310_weekday "(${_qd7310_y} + ${_qd7310_y} / 4 - ${_qd7310_y} / 100 + ${_qd7310_y} / 400 \
                           + ${_qd7310_offset} + ${_qd7310_day}) % 7")
set(_qd7310_weekdays Sun Mon Tue Wed Thu Fri Sat)
list(GET _qd7310_weekdays ${_qd7310_weekday} _qd7310_weekday_name)
set(QD7310_MAN_DATE "${_qd7310_month_name} ${_qd7310_year}")
set(QD7310_RELEASE_DATE_RFC2822
    "${_qd7310_weekday_name}, ${_qd7310_day} ${_qd7310_month_abbr} ${_qd7310_year} 12:00:00 +0000")
set(QD7310_SCREENSHOT_URL "${CPACK_PACKAGE_HOMEPAGE_URL}/screenshots/main-window.png")
configure_file(${QD7310_LINUX_DIR}/qd7310-eval.metainfo.xml.in
               ${QD7310_LINUX_OUT}/${QD7310_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${QD7310_LINUX_OUT}/${QD7310_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# Man pages: every NAME.1 in man/, its .TH line given the version and date, compressed as Debian
# wants them. A page dropped there is picked up at the next build.
find_program(QD7310_GZIP gzip REQUIRED)
file(GLOB QD7310_MAN_PAGES CONFIGURE_DEPENDS ${QD7310_LINUX_DIR}/man/*.1)
set(_qd7310_man_outputs)
foreach(page IN LISTS QD7310_MAN_PAGES)
    get_filename_component(name ${page} NAME)
    set(configured ${QD7310_LINUX_OUT}/man/${name})
    set(out ${configured}.gz)
    configure_file(${page} ${configured} @ONLY)
    # -n keeps the name and time out of the archive, so the package is reproducible.
    add_custom_command(OUTPUT ${out}
        COMMAND ${QD7310_GZIP} -9nc ${configured} > ${out}
        DEPENDS ${configured} VERBATIM)
    list(APPEND _qd7310_man_outputs ${out})
    install(FILES ${out} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
add_custom_target(qd7310_man_pages ALL DEPENDS ${_qd7310_man_outputs})
