# Every tests/<part>/fuzz/<Name>Fuzzer.cpp becomes a libFuzzer program <Name>Fuzzer
# linked with the libraries named in a line "// fuzz-libraries: lib1 lib2" of
# the file. The main build runs each for a bounded time (see FuzzTests.cmake).
file(GLOB_RECURSE PW_FUZZ_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*/fuzz/*Fuzzer.cpp)
foreach(source ${PW_FUZZ_SOURCES})
  get_filename_component(name ${source} NAME_WE)
  file(STRINGS ${source} libs_line REGEX "^// fuzz-libraries:")
  string(REPLACE "// fuzz-libraries:" "" libs "${libs_line}")
  separate_arguments(libs)
  add_executable(${name} ${source})
  target_link_libraries(${name} PRIVATE ${libs} pw_warnings)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
endforeach()
