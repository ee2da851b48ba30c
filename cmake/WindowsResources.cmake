# What the Windows programs carry and what the installer puts beside them:
# icons made from our drawings at build time (rsvg-convert draws each size,
# icotool packs them into one .ico), and the resources linked into each
# program (icon, version, and for window programs the application manifest).
enable_language(RC)
find_program(PW_RSVG_CONVERT rsvg-convert REQUIRED)  # librsvg2-bin
find_program(PW_ICOTOOL icotool REQUIRED)            # icoutils

set(PW_WINDOWS_PACKAGING ${PROJECT_SOURCE_DIR}/packaging/windows)
set(PW_WINDOWS_RESOURCES ${PROJECT_SOURCE_DIR}/app/windows)
set(PW_ICON_DIR ${CMAKE_BINARY_DIR}/icons)

# pw_svg_icon(OUTPUT SVG SIZE...): OUTPUT.ico with one image per SIZE; sizes
# from 256 up are kept as PNG inside the file, as Windows expects them.
function(pw_svg_icon output svg)
  set(pngs)
  set(args)
  get_filename_component(stem ${output} NAME_WE)
  foreach(size ${ARGN})
    set(png ${PW_ICON_DIR}/${stem}-${size}.png)
    list(APPEND pngs ${png})
    if(size GREATER_EQUAL 256)
      list(APPEND args --raw=${png})
    else()
      list(APPEND args ${png})
    endif()
  endforeach()
  set(commands)
  foreach(size ${ARGN})
    list(APPEND commands COMMAND ${PW_RSVG_CONVERT} -w ${size} -h ${size} -o ${PW_ICON_DIR}/${stem}-${size}.png ${svg})
  endforeach()
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PW_ICON_DIR}
    ${commands}
    COMMAND ${PW_ICOTOOL} -c -o ${output} ${args}
    DEPENDS ${svg}
    VERBATIM)
endfunction()

# The program's icon, and the Trust button's two, which the browser looks for
# beside the window program ("Icon" and "HotIcon").
pw_svg_icon(${PW_ICON_DIR}/portwarden.ico ${PROJECT_SOURCE_DIR}/packaging/portwarden.svg 16 20 24 32 40 48 64 256)
pw_svg_icon(${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/VadadAr.ico ${PW_WINDOWS_PACKAGING}/trust-button.svg 16 20 24 32 48)
pw_svg_icon(${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/TrustHot.ico ${PW_WINDOWS_PACKAGING}/trust-button-hot.svg 16 20 24 32 48)
add_custom_target(pw_windows_icons ALL DEPENDS ${PW_ICON_DIR}/portwarden.ico
                  ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/VadadAr.ico ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/TrustHot.ico)

# pw_windows_resources(TARGET DESCRIPTION [WINDOW] [INCLUDE RC DEPENDS...]):
# links the icon and the version into TARGET. WINDOW makes it a window
# program: WinMain with UTF-16 arguments (-municode, wWinMain), no console,
# and the manifest that asks for per-monitor DPI awareness and common
# controls 6. INCLUDE adds the resources of another .rc file, made from the
# files DEPENDS names (one resource script, so that icon images are numbered
# once).
function(pw_windows_resources target description)
  cmake_parse_arguments(PARSE_ARGV 2 arg "WINDOW" "INCLUDE" "DEPENDS")
  get_target_property(output ${target} OUTPUT_NAME)
  if(NOT output)
    set(output ${target})
  endif()
  set(PW_RC_DESCRIPTION "${description}")
  set(PW_RC_FILE_NAME "${output}.exe")
  set(PW_RC_ICON ${PW_ICON_DIR}/portwarden.ico)
  set(PW_RC_VERSION_COMMAS "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  set(PW_RC_MANIFEST_LINE "")
  set(depends ${PW_RC_ICON})
  set(PW_RC_INCLUDE_LINE "")
  if(arg_INCLUDE)
    set(PW_RC_INCLUDE_LINE "#include \"${arg_INCLUDE}\"")
    list(APPEND depends ${arg_INCLUDE} ${arg_DEPENDS})
  endif()
  if(arg_WINDOW)
    # 1 and 24: the program's manifest, of the resource type RT_MANIFEST.
    set(PW_RC_MANIFEST_LINE "1 24 \"${PW_WINDOWS_RESOURCES}/window-program.manifest\"")
    list(APPEND depends ${PW_WINDOWS_RESOURCES}/window-program.manifest)
    set_target_properties(${target} PROPERTIES WIN32_EXECUTABLE ON)
    target_compile_options(${target} PRIVATE -municode)
    target_link_options(${target} PRIVATE -municode)
    # The DPI functions of Windows 10 (GetDpiForWindow and the awareness contexts).
    target_compile_definitions(${target} PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0A00 WINVER=0x0A00)
    target_link_libraries(${target} PRIVATE comctl32 gdi32 user32)
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
  configure_file(${PW_WINDOWS_RESOURCES}/program.rc.in ${rc} @ONLY)
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${depends}")
  target_sources(${target} PRIVATE ${rc})
  add_dependencies(${target} pw_windows_icons)
endfunction()
