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

# The Windows installer, quorvel-<version>-windows-x64.msi (target quorvel_msi, built with
# the tests and by `make windows-package`): the zip's files, installed per user. Built with
# Debian's wixl (package wixl); without it there is no MSI and its test is skipped.
find_program(QUORVEL_WIXL wixl)
set(QUORVEL_MSI ${PROJECT_BINARY_DIR}/quorvel-${PROJECT_VERSION}-windows-x64.msi)
if(QUORVEL_WIXL)
  set(QUORVEL_PUBLISHER "The Quorvel developers")
  # Never changes: it is how Windows Installer knows a newer Quorvel replaces an older one.
  set(QUORVEL_MSI_UPGRADE_CODE c7c1bdd2-0bbc-4736-8d4d-d9bdeb8fa484)
  file(RELATIVE_PATH QUORVEL_MSI_ICON ${PROJECT_BINARY_DIR} ${PROJECT_SOURCE_DIR}/dist/quorvel.ico)
  file(GLOB licenses ${PROJECT_SOURCE_DIR}/dist/windows/licenses/*.txt)
  list(PREPEND licenses ${PROJECT_BINARY_DIR}/quorvel.txt)
  set(QUORVEL_MSI_LICENSE_FILES "")
  foreach(license ${licenses})
    get_filename_component(name ${license} NAME)
    file(RELATIVE_PATH source ${PROJECT_BINARY_DIR} ${license})
    string(MAKE_C_IDENTIFIER "license_${name}" id)
    string(APPEND QUORVEL_MSI_LICENSE_FILES
      "                <File Id=\"${id}\" Name=\"${name}\" Source=\"${source}\"/>\n")
  endforeach()
  configure_file(${PROJECT_SOURCE_DIR}/dist/windows/quorvel.wxs.in
    ${PROJECT_BINARY_DIR}/quorvel.wxs @ONLY)
  # The program stripped, as in the zip.
  add_custom_command(OUTPUT ${QUORVEL_MSI}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/msi
    COMMAND ${CMAKE_STRIP} -o ${PROJECT_BINARY_DIR}/msi/quorvel.exe $<TARGET_FILE:quorvel>
    COMMAND ${QUORVEL_WIXL} --arch x64 --output ${QUORVEL_MSI} ${PROJECT_BINARY_DIR}/quorvel.wxs
    DEPENDS quorvel ${PROJECT_BINARY_DIR}/quorvel.wxs ${licenses}
      ${PROJECT_BINARY_DIR}/README.txt ${PROJECT_SOURCE_DIR}/dist/quorvel.ico
    COMMENT "Building the installer ${QUORVEL_MSI}"
    VERBATIM)
  add_custom_target(quorvel_msi DEPENDS ${QUORVEL_MSI})
endif()
