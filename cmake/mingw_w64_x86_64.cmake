# Cross-builds the 64-bit Windows program with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(BRINDLE_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw_w64_common.cmake)
