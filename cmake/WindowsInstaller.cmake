# The installer, made by makensis (Debian package nsis) from a staging folder
# that holds what it installs, the programs stripped of their debugging
# information: build-windows/Portwarden-VERSION-setup.exe.
find_program(PW_MAKENSIS makensis REQUIRED)
set(PW_INSTALLER ${CMAKE_BINARY_DIR}/Portwarden-${PROJECT_VERSION}-setup.exe)
set(PW_INSTALLER_SCRIPT ${PROJECT_SOURCE_DIR}/packaging/windows/portwarden.nsi)
set(bin ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
set(stage ${CMAKE_BINARY_DIR}/installer-files)
set(programs portwarden-cli)
if(TARGET portwarden)
  list(APPEND programs portwarden)
endif()
set(strip_commands)
foreach(program ${programs})
  list(APPEND strip_commands COMMAND ${CMAKE_STRIP} -o ${stage}/$<TARGET_FILE_NAME:${program}> $<TARGET_FILE:${program}>)
endforeach()
add_custom_command(OUTPUT ${PW_INSTALLER}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${stage}
  ${strip_commands}
  COMMAND ${CMAKE_COMMAND} -E copy ${bin}/VadadAr.ico ${bin}/TrustHot.ico ${bin}/Portwarden-HELP.chm ${stage}
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${bin}/help ${stage}/help
  COMMAND ${PW_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DBIN=${stage} -DICON=${PW_ICON_DIR}/portwarden.ico
          -DOUTFILE=${PW_INSTALLER} ${PW_INSTALLER_SCRIPT}
  DEPENDS ${PW_INSTALLER_SCRIPT} ${programs} ${bin}/VadadAr.ico ${bin}/TrustHot.ico ${bin}/Portwarden-HELP.chm
          ${PW_ICON_DIR}/portwarden.ico
  VERBATIM)
add_custom_target(installer ALL DEPENDS ${PW_INSTALLER})
add_dependencies(installer pw_windows_icons portwarden_help)
