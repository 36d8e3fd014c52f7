# Packages made by CPack from the same install rules as a plain cmake --install: a .deb on
# Linux, a portable zip and an NSIS installer on Windows. Every program a user runs is in each.
set(CPACK_PACKAGE_NAME "qd7310-eval")
set(CPACK_PACKAGE_VENDOR "Brelvan")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Evaluation tool for the QD7310 LED-driver chip")
set(CPACK_PACKAGE_CONTACT "QD7310 evaluation tool developers <qd7310-eval@example.com>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.com/qd7310-eval")

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/windows/windows.cmake OPTIONAL)
elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
    include(${CMAKE_CURRENT_LIST_DIR}/deb/deb.cmake OPTIONAL)
endif()

include(CPack)
