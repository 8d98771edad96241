# The Windows zip, quorvel-<version>-windows-x64.zip (`make windows-package`): the program,
# a README for Windows users and the licences of everything linked into it (their own
# texts, kept in dist/windows/licenses with Windows line ends).
install(TARGETS quorvel RUNTIME DESTINATION .)
# README.txt and our licence with Windows line ends, so Notepad before Windows 10 1809 shows
# their lines.
foreach(text_file "dist/windows/README.txt;README.txt" "LICENSE;quorvel.txt")
  list(GET text_file 0 source)
  list(GET text_file 1 name)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${source})
  file(READ ${PROJECT_SOURCE_DIR}/${source} text)
  string(REPLACE "\n" "\r\n" text "${text}")
  file(WRITE ${PROJECT_BINARY_DIR}/${name} "${text}")
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
install(FILES ${PROJECT_BINARY_DIR}/quorvel.txt DESTINATION licenses)
install(DIRECTORY ${PROJECT_SOURCE_DIR}/dist/windows/licenses/ DESTINATION licenses)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_FILE_NAME quorvel-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
