# Reliability: the fault tests, the soak and, with clang's libFuzzer, the fuzz
# targets and their seed generator. Included from the top-level CMakeLists.txt.
if(NOT BRINDLECAP_TESTS)
  return()
endif()

add_library(destination_check STATIC tests/destination_check.cpp tests/destination_check.h)
target_link_libraries(destination_check PUBLIC watcher)

add_executable(faults_test watcher/faults_test.cpp)
target_link_libraries(faults_test PRIVATE destination_check test_support GTest::gtest_main)
add_test(NAME faults_test COMMAND faults_test --gtest_shuffle)
if(WIN32)
  # Another process to hold the replay open; the test finds it beside itself.
  add_executable(hold_open tests/hold_open.cpp)
  add_dependencies(faults_test hold_open)
else()
  add_executable(watcher_soak watcher/watcher_soak.cpp)
  target_link_libraries(watcher_soak PRIVATE test_support)
  add_test(NAME watcher_soak COMMAND watcher_soak)
endif()

if(WIN32 OR NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  return()
endif()
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
check_cxx_source_compiles(
  "#include <stddef.h>
   #include <stdint.h>
   extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }"
  BRINDLECAP_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT BRINDLECAP_HAVE_LIBFUZZER)
  message(STATUS "clang cannot link with -fsanitize=fuzzer (libclang-rt missing?): no fuzz targets")
  return()
endif()

# The watcher, the seam, the replay format, naming and the game's folders again,
# with coverage feedback for the fuzzer. The unit tests keep the plain build. Each
# room gives the sources it builds here: the game's folders add their Windows-only
# one on Windows alone, and the fuzzing runs on Linux.
set(BRINDLECAP_FUZZED_SOURCES)
foreach(room watcher platform replay naming gamefolders)
  get_target_property(room_sources ${room} SOURCES)
  list(APPEND BRINDLECAP_FUZZED_SOURCES ${room_sources})
endforeach()
add_library(watcher_fuzzing STATIC ${BRINDLECAP_FUZZED_SOURCES})
target_include_directories(watcher_fuzzing PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(watcher_fuzzing PUBLIC ZLIB::ZLIB deflate)
target_compile_options(watcher_fuzzing PRIVATE ${BRINDLECAP_FLAGS} -fsanitize=fuzzer-no-link)

# The checks go uninstrumented: their comparisons are no paths through the
# watcher, and would only feed the fuzzer's dictionary with pointer values.
add_library(fuzz_checks STATIC tests/fuzz_support.cpp tests/fuzz_support.h
            tests/destination_check.cpp tests/destination_check.h)
target_link_libraries(fuzz_checks PUBLIC watcher_fuzzing)

# Where each target's file stands: the two that reach only the replay format beside
# it, the one that takes whole files beside the watcher.
set(BRINDLECAP_FUZZ_TARGETS watcher/replay_fuzz watcher/header_fuzz watcher/modern_fuzz)
foreach(source ${BRINDLECAP_FUZZ_TARGETS})
  get_filename_component(target ${source} NAME)
  add_executable(${target} ${source}.cpp)
  target_link_libraries(${target} PRIVATE fuzz_checks)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
endforeach()

add_executable(fuzz_seeds tests/fuzz_seeds.cpp)
target_link_libraries(fuzz_seeds PRIVATE test_support)

# A short run of each target on every test run; `make fuzz` runs them for longer.
set(BRINDLECAP_FUZZ_SMOKE_SECONDS 12 CACHE STRING "Seconds per fuzz target in the fuzz_smoke test")
add_test(NAME fuzz_smoke
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tools/fuzz-run ${CMAKE_BINARY_DIR}
                 ${BRINDLECAP_FUZZ_SMOKE_SECONDS})

# The whole-replay reading (replay/) with coverage feedback, libdeflate's
# decompressor included, so that the fuzzer finds its way through both inflaters:
# it needs zlib and libdeflate alone. Its seeds come from the real replays through
# a generator of its own.
add_library(deflate_fuzzing STATIC ${BRINDLECAP_DEFLATE_SOURCES})
target_include_directories(deflate_fuzzing PRIVATE ${BRINDLECAP_DEFLATE_INCLUDES})
set_target_properties(deflate_fuzzing PROPERTIES C_STANDARD 99 C_EXTENSIONS ON)
# The tests' warnings are not for libdeflate's own source.
target_compile_options(deflate_fuzzing PRIVATE -w -fsanitize=fuzzer-no-link)
get_target_property(BRINDLECAP_REPLAY_SOURCES replay SOURCES)
add_library(replay_fuzzing STATIC ${BRINDLECAP_REPLAY_SOURCES})
target_include_directories(replay_fuzzing PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(replay_fuzzing PUBLIC ZLIB::ZLIB PRIVATE deflate_fuzzing)
target_compile_options(replay_fuzzing PRIVATE ${BRINDLECAP_FLAGS} -fsanitize=fuzzer-no-link)
add_executable(game_fuzz replay/game_fuzz.cpp replay/game_fuzz_input.cpp
  replay/game_fuzz_input.h)
target_link_libraries(game_fuzz PRIVATE replay_fuzzing replay_builder)
target_compile_options(game_fuzz PRIVATE -fsanitize=fuzzer)
target_link_options(game_fuzz PRIVATE -fsanitize=fuzzer)
add_executable(game_fuzz_seeds replay/game_fuzz_seeds.cpp replay/game_fuzz_input.cpp
  replay/game_fuzz_input.h)
target_link_libraries(game_fuzz_seeds PRIVATE replay test_support ZLIB::ZLIB)
