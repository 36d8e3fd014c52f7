# The Windows packages: the programs at the top of one folder beside the Qt and compiler runtime
# DLLs they load, as a portable zip and an NSIS installer made from the same install rules.
# Included at the end of the top CMakeLists, so every target exists here.

# The programs a user starts. Window programs link as GUI-subsystem executables, so no console
# window opens beside them; their trace is read by redirecting standard output from a command
# prompt, which Windows hands to a GUI program as it does to a console one. Programs not built
# (yet) are skipped.
set(QD7310_WINDOW_PROGRAMS qd7310-eval qd7310-eval-demo)
set(QD7310_CONSOLE_PROGRAMS qd7310-boardcheck qd7310-ctl)
set(QD7310_DESCRIPTION_qd7310-eval "QD7310 Evaluation Software")
set(QD7310_DESCRIPTION_qd7310-eval-demo "QD7310 Evaluation Software (demo)")
set(QD7310_DESCRIPTION_qd7310-boardcheck "QD7310 evaluation board check")
set(QD7310_DESCRIPTION_qd7310-ctl "QD7310 command-line tool")

# Every program carries the tool's icon and version as Windows resources.
set(QD7310_RC_ICON ${CMAKE_CURRENT_LIST_DIR}/qd7310-eval.ico)
set(QD7310_START_MENU)
foreach(program IN LISTS QD7310_WINDOW_PROGRAMS QD7310_CONSOLE_PROGRAMS)
    if(NOT TARGET ${program})
        continue()
    endif()
    set(QD7310_RC_PROGRAM ${program})
    set(QD7310_RC_DESCRIPTION "${QD7310_DESCRIPTION_${program}}")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/program.rc.in
                   ${CMAKE_BINARY_DIR}/windows/${program}.rc @ONLY)
    target_sources(${program} PRIVATE ${CMAKE_BINARY_DIR}/windows/${program}.rc)
    if(program IN_LIST QD7310_WINDOW_PROGRAMS)
        set_target_properties(${program} PROPERTIES WIN32_EXECUTABLE ON)
        list(APPEND QD7310_START_MENU ${program} "${QD7310_DESCRIPTION_${program}}")
    endif()
endforeach()

# The runtime, kept by hand: the Qt libraries, the one platform plugin and the native style, and
# the compiler's own DLLs. The package check below fails when this list and the import tables
# of what is installed disagree, in either direction.
foreach(lib Core Gui Widgets)
    install(IMPORTED_RUNTIME_ARTIFACTS Qt6::${lib} RUNTIME DESTINATION .)
endforeach()
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsIntegrationPlugin LIBRARY DESTINATION platforms)
install(IMPORTED_RUNTIME_ARTIFACTS Qt6::QWindowsVistaStylePlugin LIBRARY DESTINATION styles)
include(${PROJECT_SOURCE_DIR}/cmake/mingwruntime.cmake)
install(FILES ${QD7310_MINGW_RUNTIME_DLLS} DESTINATION .)
# Without their symbol tables and debugging sections the DLLs are less than half the size.
install(CODE "set(QD7310_STRIP \"${CMAKE_STRIP}\")")
install(CODE [[
    file(GLOB dlls "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/*.dll"
                   "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/*/*.dll")
    foreach(dll IN LISTS dlls)
        execute_process(COMMAND "${QD7310_STRIP}" --strip-unneeded "${dll}"
                        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
]])
set(CPACK_STRIP_FILES ON)

# The zip holds one folder named after the package; the installer adds "-setup".
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/cpackoptions.cmake)
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/checkdlls.cmake
                             ${CMAKE_CURRENT_LIST_DIR}/signprograms.cmake)
set(CPACK_QD7310_OBJDUMP ${CMAKE_OBJDUMP})
# Signing is decided when cpack runs, by the certificate in its environment: the build tree never
# holds it. Windows shows the name and web page in its prompts for a signed program.
set(CPACK_QD7310_SIGN ${CMAKE_CURRENT_LIST_DIR}/sign.sh)

set(CPACK_PACKAGE_INSTALL_DIRECTORY "QD7310 Evaluation Software")
set(CPACK_QD7310_SIGN_DESCRIBED --name ${CPACK_PACKAGE_INSTALL_DIRECTORY}
                                --url ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "qd7310-eval")
set(CPACK_PACKAGE_EXECUTABLES ${QD7310_START_MENU})
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
# A 64-bit installer for a 64-bit program: it sees the real Program Files and registry.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_DISPLAY_NAME "QD7310 Evaluation Software ${PROJECT_VERSION}")
set(CPACK_NSIS_PACKAGE_NAME "QD7310 Evaluation Software ${PROJECT_VERSION}")
set(CPACK_NSIS_MUI_ICON ${QD7310_RC_ICON})
set(CPACK_NSIS_MUI_UNIICON ${QD7310_RC_ICON})
set(CPACK_NSIS_INSTALLED_ICON_NAME qd7310-eval.exe)
set(CPACK_NSIS_URL_INFO_ABOUT ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_NSIS_CONTACT ${CPACK_PACKAGE_CONTACT})
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_IGNORE_LICENSE_PAGE ON)
set(CPACK_NSIS_MODIFY_PATH OFF)
