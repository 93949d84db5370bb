# brindle-<version>-win64.msi (or -win32.msi): the Windows installer, built by wixl (Debian's
# msitools) from res/brindle.wxs, of the stripped program and its README.txt. The product's and
# components' codes are made from their names, so that every build of an architecture upgrades the
# one before it; brindle_add_installer also makes the older version the upgrade test starts from.
find_program(BRINDLE_WIXL wixl)
find_program(BRINDLE_STRIP NAMES ${CMAKE_STRIP} ${BRINDLE_MINGW_TRIPLET}-strip)
if(NOT BRINDLE_WIXL OR NOT TARGET brindle)
  message(STATUS "No Windows installer: wixl is missing (tools/install_deps.sh --windows installs it)")
  return()
endif()

if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(brindle_msi_options -a x64 -D ProgramFilesFolder=ProgramFiles64Folder -D Win64=yes -D Architecture=64-bit)
else()
  set(brindle_msi_options -a x86 -D ProgramFilesFolder=ProgramFilesFolder -D Win64=no -D Architecture=32-bit)
endif()
# Fixed for good: a new namespace would make the next version install beside the old one.
set(brindle_msi_namespace 3f1d8a52-6c0e-4f7b-9a41-2d5e8c7b9f10)
foreach(code UpgradeCode ProgramGuid ReadmeGuid ShortcutGuid)
  string(UUID brindle_${code} NAMESPACE ${brindle_msi_namespace} NAME "${brindle_windows_arch}-${code}" TYPE SHA1
         UPPER)
  list(APPEND brindle_msi_options -D ${code}=${brindle_${code}})
endforeach()

# wixl reads its sources from the directory it runs in.
set(brindle_msi_stage ${CMAKE_BINARY_DIR}/installer)
add_custom_command(OUTPUT ${brindle_msi_stage}/brindle.exe ${brindle_msi_stage}/README.txt ${brindle_msi_stage}/brindle.ico
  COMMAND ${CMAKE_COMMAND} -E make_directory ${brindle_msi_stage}
  COMMAND ${BRINDLE_STRIP} -o ${brindle_msi_stage}/brindle.exe $<TARGET_FILE:brindle>
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/README.txt ${PROJECT_SOURCE_DIR}/res/icons/brindle.ico
          ${brindle_msi_stage}
  DEPENDS brindle ${CMAKE_BINARY_DIR}/README.txt ${PROJECT_SOURCE_DIR}/res/icons/brindle.ico VERBATIM)

# brindle_add_installer(TARGET MSI VERSION): the installer of this build as version VERSION.
function(brindle_add_installer target msi version)
  add_custom_command(OUTPUT ${msi}
    COMMAND ${BRINDLE_WIXL} ${brindle_msi_options} -D Version=${version} -D "Description=${PROJECT_DESCRIPTION}"
            -D ProgramFile=brindle.exe -D ReadmeFile=README.txt -D IconFile=brindle.ico
            -o ${msi} ${PROJECT_SOURCE_DIR}/res/brindle.wxs
    WORKING_DIRECTORY ${brindle_msi_stage}
    DEPENDS ${brindle_msi_stage}/brindle.exe ${brindle_msi_stage}/README.txt ${brindle_msi_stage}/brindle.ico
            ${PROJECT_SOURCE_DIR}/res/brindle.wxs
    VERBATIM)
  add_custom_target(${target} ALL DEPENDS ${msi})
endfunction()

set(BRINDLE_INSTALLER ${CMAKE_BINARY_DIR}/brindle-${PROJECT_VERSION}-${brindle_windows_arch}.msi)
brindle_add_installer(brindle_installer ${BRINDLE_INSTALLER} ${PROJECT_VERSION})
