# Cross-builds the 32-bit Windows program with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(BRINDLE_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_w64_common.cmake)
