# The tests of the Windows build: GoogleTest cross-built from Debian's sources, and every test
# program run under Wine in a prefix of this build's own, made once per CTest run.
set(BRINDLE_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${BRINDLE_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Its warnings are not ours to mend.
foreach(target gtest gtest_main)
  target_compile_options(${target} PRIVATE -w)
endforeach()
# The test programs run on their own under Wine, with no runtime DLLs beside them.
add_link_options(-static)
if(NOT TARGET GTest::gtest_main)
  add_library(GTest::gtest ALIAS gtest)
  add_library(GTest::gtest_main ALIAS gtest_main)
endif()

# Debian's wine64 runs the 64-bit build; the 32-bit one runs with the 32-bit loader of wine32
# (/usr/lib/wine/wine), in the same 64-bit prefix and under the same 64-bit server, as a 32-bit
# program runs on 64-bit Windows.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  find_program(BRINDLE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(BRINDLE_WINE NAMES wine64 wine)
else()
  find_program(BRINDLE_WINE NAMES wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(BRINDLE_WINE NAMES wine)
endif()
get_filename_component(wine_dir "${BRINDLE_WINE}" DIRECTORY)
find_program(BRINDLE_WINESERVER NAMES wineserver64 wineserver HINTS ${wine_dir} /usr/lib/wine)

set(BRINDLE_WINEPREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/wine_run.sh.in ${CMAKE_BINARY_DIR}/wine_run.sh @ONLY FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Test programs created from here on run through it.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine_run.sh)

if(BRINDLE_WINE AND BRINDLE_WINESERVER)
  set(BRINDLE_RUN_WINDOWS_TESTS ON)
  # A fresh prefix, its server kept up for the whole run so that each program starts quickly.
  add_test(NAME windows.wine_prefix_create COMMAND ${CMAKE_BINARY_DIR}/wine_run.sh --create-prefix)
  set_tests_properties(windows.wine_prefix_create PROPERTIES FIXTURES_SETUP wine_prefix LABELS windows TIMEOUT 300)
  add_test(NAME windows.wine_prefix_stop COMMAND ${CMAKE_BINARY_DIR}/wine_run.sh --stop-server)
  set_tests_properties(windows.wine_prefix_stop PROPERTIES FIXTURES_CLEANUP wine_prefix LABELS windows TIMEOUT 60)
else()
  set(BRINDLE_RUN_WINDOWS_TESTS OFF)
  message(STATUS "No Wine for this architecture: the Windows tests are built but not run")
endif()

# One CTest test per test program: each Wine start costs a second or so, so the program runs its
# cases in one go and GoogleTest's output names any that fail.
function(brindle_add_wine_test target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "TIMEOUT" "")
  if(NOT BRINDLE_RUN_WINDOWS_TESTS)
    return()
  endif()
  if(NOT arg_TIMEOUT)
    set(arg_TIMEOUT 300)
  endif()
  add_test(NAME windows.${target} COMMAND ${target} --gtest_brief=1)
  set_tests_properties(windows.${target} PROPERTIES FIXTURES_REQUIRED wine_prefix LABELS windows
                       TIMEOUT ${arg_TIMEOUT})
endfunction()
