# brindle.exe: the GUI subsystem, the resource script (icon, both dialogs, strings, version block)
# and the C++ runtime and threads linked in, so that nothing has to be installed beside it.
if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/main_win32.cpp OR NOT TARGET brindle_win32_host OR NOT TARGET brindle_win32_sockets)
  message(STATUS "brindle.exe is not built: its entry point, window host or sockets layer is missing")
  return()
endif()

add_executable(brindle WIN32 main_win32.cpp ${PROJECT_SOURCE_DIR}/res/brindle.rc)
target_link_libraries(brindle PRIVATE brindle_app brindle_win32_sockets brindle_win32_host)
target_link_options(brindle PRIVATE -static -static-libgcc -static-libstdc++)
# _DEBUG marks a debug build in the version block.
target_compile_definitions(brindle PRIVATE $<$<AND:$<COMPILE_LANGUAGE:RC>,$<CONFIG:Debug>>:_DEBUG>)

install(TARGETS brindle RUNTIME DESTINATION .)
