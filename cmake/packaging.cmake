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
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Brindle developers <brindle@localhost>")
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

include(CPack)
