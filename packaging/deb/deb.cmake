# The Debian package: the programs, the udev rule, the desktop integration, the copyright and
# changelog, and maintainer scripts that make udev pick the rule up. Build it with
# scripts/package-deb.sh, which configures with -DCMAKE_INSTALL_PREFIX=/usr.
include(${CMAKE_CURRENT_LIST_DIR}/../linux/linux.cmake)

set(QD7310_DEB_DIR ${CMAKE_CURRENT_LIST_DIR})
set(QD7310_DEB_OUT ${CMAKE_BINARY_DIR}/packaging/deb)

install(FILES ${QD7310_DEB_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
configure_file(${QD7310_DEB_DIR}/changelog.in ${QD7310_DEB_OUT}/changelog @ONLY)
add_custom_command(OUTPUT ${QD7310_DEB_OUT}/changelog.gz
    COMMAND ${QD7310_GZIP} -9nc ${QD7310_DEB_OUT}/changelog > ${QD7310_DEB_OUT}/changelog.gz
    DEPENDS ${QD7310_DEB_OUT}/changelog VERBATIM)
add_custom_target(qd7310_deb_changelog ALL DEPENDS ${QD7310_DEB_OUT}/changelog.gz)
install(FILES ${QD7310_DEB_OUT}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The maintainer scripts know the board's vendor ID to re-trigger only its devices, and byte-compile
# the Python client on install and clean it up on removal, as Debian's Python packages do.
foreach(script postinst prerm postrm)
    configure_file(${QD7310_DEB_DIR}/${script}.in ${QD7310_DEB_OUT}/${script} @ONLY
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
                                    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT) # qd7310-eval_<version>_<arch>.deb
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${CPACK_PACKAGE_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${QD7310_DEB_OUT}/postinst ${QD7310_DEB_OUT}/prerm ${QD7310_DEB_OUT}/postrm)
# The Python client in Debian's Python path; the programs' own dependencies come from shlibdeps.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3:any (>= 3.9)")
# Qt's Wayland plugin, so the window is native on a Wayland desktop instead of blurred by XWayland.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Release binaries without their symbol tables, as Debian ships them.
set(CPACK_STRIP_FILES ON)
