# brindle-<version>-win64.zip (or -win32.zip): the program and its README.txt at the top, to be
# unzipped anywhere and run.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(brindle_windows_arch win64)
else()
  set(brindle_windows_arch win32)
endif()

# Notepad and every other Windows editor read CR LF.
configure_file(${PROJECT_SOURCE_DIR}/docs/windows_readme.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY
               NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Brindle developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_FILE_NAME brindle-${PROJECT_VERSION}-${brindle_windows_arch})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
set(CPACK_STRIP_FILES ON)
include(CPack)

include(${CMAKE_CURRENT_LIST_DIR}/windows_installer.cmake)
