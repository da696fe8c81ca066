# The Windows release: `cpack` in the Windows build makes
# skyfault-<version>-win64.zip and skyfault-<version>-win64-setup.exe (NSIS).
# Both hold skyfault.exe, skyfault-linkcheck.exe and a README.txt for users.
set(_skyfault_release_programs skyfault-linkcheck)
if(TARGET skyfault)
  list(PREPEND _skyfault_release_programs skyfault)
endif()
install(TARGETS ${_skyfault_release_programs} RUNTIME DESTINATION . COMPONENT programs)

# Notepad-friendly line ends.
configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/README.txt.in
  ${PROJECT_BINARY_DIR}/package/README.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_BINARY_DIR}/package/README.txt DESTINATION . COMPONENT programs)

set(CPACK_PACKAGE_NAME Skyfault)
set(CPACK_PACKAGE_VENDOR Skyfault)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Random aircraft system failures beside FSUIPC or WideClient")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Skyfault)
set(CPACK_PACKAGE_FILE_NAME skyfault-${PROJECT_VERSION}-win64)
set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_STRIP_FILES ON)
# The installer's script is ours (cmake/packaging/NSIS.template.in): for the
# user who runs it, no administrator rights; program under
# %LOCALAPPDATA%\Programs, one Start-menu shortcut that starts in the user's
# %APPDATA%\Skyfault, an uninstaller that leaves that folder alone.
set(CPACK_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR}/packaging)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_SKYFAULT_ICON ${PROJECT_SOURCE_DIR}/ui/win32/skyfault.ico)
# The installer's version resource, as its numbers want it.
set(CPACK_SKYFAULT_VERSION_NUMBERS
  "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${SKYFAULT_VERSION_PATCH}.0")
# The installer gets a name of its own beside the zip.
configure_file(${CMAKE_CURRENT_LIST_DIR}/packaging/CPackOptions.cmake.in
  ${PROJECT_BINARY_DIR}/package/CPackOptions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/package/CPackOptions.cmake)
include(CPack)
