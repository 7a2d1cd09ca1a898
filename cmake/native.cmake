# Host build of the core with GoogleTest: the fast loop, sanitizers (ZARN_SANITIZE), the fuzzer
# (ZARN_FUZZ) and benchmarks. The instrumentation options are set before the core is defined.
if(ZARN_FUZZ)
  add_executable(stamping_fuzzer tests/fuzz/stamping_fuzzer.cpp ${ZARN_TEST_SUPPORT})
  target_link_libraries(stamping_fuzzer PRIVATE zarn_core)
  target_link_options(stamping_fuzzer PRIVATE -fsanitize=fuzzer,address,undefined)
  return()
endif()
find_package(GTest REQUIRED)
add_executable(zarn_core_tests
  ${ZARN_TEST_SUPPORT}
  tests/core/encoding_test.cpp
  tests/core/kernels_test.cpp
  tests/core/utf8_test.cpp
  tests/core/cached_code_page_test.cpp
  tests/core/text_stream_test.cpp
  tests/core/command_line_test.cpp
  tests/core/path_rules_test.cpp
  tests/core/date_stamp_test.cpp
  tests/core/record_stamper_test.cpp
  tests/core/stamping_differential_test.cpp
  tests/core/shell_text_test.cpp
  tests/core/form_test.cpp)
target_link_libraries(zarn_core_tests PRIVATE zarn_core GTest::gtest_main)
add_dependencies(zarn_core_tests zarn_form)
target_compile_definitions(zarn_core_tests PRIVATE ZARN_FORM_BYTES="${ZARN_FORM_BYTES}")
add_test(NAME core COMMAND zarn_core_tests)

# Micro-benchmarks of the hot loops (run by scripts/bench, not by the tests).
find_package(benchmark REQUIRED)
add_executable(zarn_benchmarks tests/bench/core_benchmarks.cpp tests/support/fake_code_pages.cpp)
target_link_libraries(zarn_benchmarks PRIVATE zarn_core benchmark::benchmark)
