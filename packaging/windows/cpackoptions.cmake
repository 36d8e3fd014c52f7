# Read by cpack once per generator: the installer is told apart from the portable zip by name.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()

# A code-signing certificate in the environment (see sign.sh) signs the programs before they are
# packed (signprograms.cmake), and makensis signs the uninstaller as it writes it into the
# installer, then the installer itself; a failed signing fails makensis, so no package is left.
set(CPACK_QD7310_SIGNED OFF)
if(NOT "$ENV{QD7310_SIGN_PKCS12}" STREQUAL "")
    set(CPACK_QD7310_SIGNED ON)
    list(JOIN CPACK_QD7310_SIGN_DESCRIBED "\" \"" described)
    set(sign "'\"${CPACK_QD7310_SIGN}\" \"${described}\" \"%1\"' = 0")
    string(APPEND CPACK_NSIS_DEFINES "\n!uninstfinalize ${sign}\n!finalize ${sign}")
endif()
