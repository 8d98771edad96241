# The Windows zip, quorvel-<version>-windows-x64.zip (`make windows-package`): the program,
# a README for Windows users and the licence notices of everything linked into it, whose
# texts Debian ships beside the cross compiler's runtime and CLI11's headers.
install(TARGETS quorvel RUNTIME DESTINATION .)
# README.txt with Windows line ends, so Notepad before Windows 10 1809 shows its lines.
set(readme ${PROJECT_SOURCE_DIR}/dist/windows/README.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme})
file(READ ${readme} text)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${PROJECT_BINARY_DIR}/README.txt "${text}")
install(FILES ${PROJECT_BINARY_DIR}/README.txt DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION licenses RENAME quorvel.txt)
foreach(notice
    "libcli11-dev;CLI11"
    "gcc-mingw-w64-base;gcc-runtime"
    "mingw-w64-common;mingw-w64-runtime-and-winpthreads")
  list(GET notice 0 package)
  list(GET notice 1 name)
  install(FILES /usr/share/doc/${package}/copyright DESTINATION licenses RENAME ${name}.txt)
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_FILE_NAME quorvel-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
