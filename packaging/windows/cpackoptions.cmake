# Read by cpack once per generator: the installer is told apart from the portable zip by name.
if(CPACK_GENERATOR STREQUAL "NSIS")
    set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-setup")
endif()

# A setup file (.qd7310) opens in the window with a double click, and shows the tool's icon. The
# keys go where the installer's own go (SHCTX: all users when installed as administrator). The
# uninstaller takes the extension back only while it is still ours; the shell is told both times.
set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS [=[
  WriteRegStr SHCTX "Software\Classes\.qd7310" "" "QD7310.Setup"
  WriteRegStr SHCTX "Software\Classes\QD7310.Setup" "" "QD7310 Setup"
  WriteRegStr SHCTX "Software\Classes\QD7310.Setup\DefaultIcon" "" "$INSTDIR\qd7310-eval.exe,0"
  WriteRegStr SHCTX "Software\Classes\QD7310.Setup\shell\open\command" "" \
    '"$INSTDIR\qd7310-eval.exe" "%1"'
  System::Call "shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)"
]=])
set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS [=[
  ReadRegStr $0 SHCTX "Software\Classes\.qd7310" ""
  StrCmp $0 "QD7310.Setup" 0 +2
    DeleteRegKey SHCTX "Software\Classes\.qd7310"
  DeleteRegKey SHCTX "Software\Classes\QD7310.Setup"
  System::Call "shell32::SHChangeNotify(i 0x08000000, i 0, p 0, p 0)"
]=])

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
