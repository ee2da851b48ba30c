# Runs each fuzzer of the companion clang build for a bounded time, starting
# from the seeds in tests/<part>/fuzz/<Name>.seeds/ when that folder exists.
set(PW_FUZZ_SECONDS 30 CACHE STRING "How long each fuzzer runs in the tests")
if(PW_FUZZ_BUILD_DIR)
  file(GLOB_RECURSE PW_FUZZ_SOURCES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/*/fuzz/*Fuzzer.cpp)
  foreach(source ${PW_FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    get_filename_component(folder ${source} DIRECTORY)
    set(corpus ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
    set(seeds "")
    if(IS_DIRECTORY ${folder}/${name}.seeds)
      set(seeds ${folder}/${name}.seeds)
    endif()
    add_test(NAME fuzz.${name}
             COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
                     ${PW_FUZZ_BUILD_DIR}/${name} -max_total_time=${PW_FUZZ_SECONDS} -timeout=10
                     -rss_limit_mb=2048 -print_final_stats=1 ${corpus} ${seeds})
    set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300 FIXTURES_REQUIRED fuzz_corpus)
  endforeach()
  add_test(NAME fuzz.corpus_folders COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/fuzz-corpus)
  set_tests_properties(fuzz.corpus_folders PROPERTIES FIXTURES_SETUP fuzz_corpus)
  foreach(source ${PW_FUZZ_SOURCES})
    get_filename_component(name ${source} NAME_WE)
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz-corpus/${name})
  endforeach()
endif()
