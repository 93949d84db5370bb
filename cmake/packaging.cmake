# On Windows a ZIP of brindle.exe and a short README.txt (tools/windows.sh builds both).
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/windows_packaging.cmake)
  return()
endif()

# A Debian package of what `cmake --install` puts in place; build it with `cpack` in a release
# build directory (tools/package_check.sh does, and installs it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindle)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Brindle developers")
# Debian's synopsis goes without an article.
string(REGEX REPLACE "^(A|An|The) " "" CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

# A stand-in until the project has a mailbox of its own; a packager sets the real one.
set(BRINDLE_DEB_MAINTAINER "The Brindle developers <brindle@example.org>" CACHE STRING "Maintainer of the .deb")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${BRINDLE_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The synopsis is the summary above; this is the text under it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Brindle stands between a client program (a browser, curl) and a real server.
It listens on a port, accepts one client, connects to a destination and queues
every chunk either side sends, showing it in a window; each chunk is forwarded
when you click Send, or at once with Auto ticked.")
# The libraries come from dpkg-shlibdeps; Qt loads its window-system plugin at run time, out of
# that tool's sight.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

find_program(BRINDLE_DPKG dpkg)
if(BRINDLE_DPKG)
  execute_process(COMMAND ${BRINDLE_DPKG} --print-architecture OUTPUT_VARIABLE BRINDLE_DEB_ARCH
                  OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${BRINDLE_DEB_ARCH})
  set(CPACK_DEBIAN_FILE_NAME "brindle_${PROJECT_VERSION}_${BRINDLE_DEB_ARCH}.deb")
else()
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
endif()

include(GNUInstallDirs)
# Debian wants a changelog beside the copyright notice, gzipped like the manual page.
configure_file(${PROJECT_SOURCE_DIR}/res/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
  COMMAND ${BRINDLE_GZIP} -9 -n -f -k ${PROJECT_BINARY_DIR}/changelog
  DEPENDS ${PROJECT_BINARY_DIR}/changelog VERBATIM)
add_custom_target(brindle_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
add_dependencies(brindle brindle_changelog)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/brindle)

include(CPack)
