# Benchmarks: each *_perftest.cpp beside the code is one program, built with Google
# Benchmark when BRINDLECAP_BENCH is on (the bench preset, `make bench`). Off by
# default, so `make test` neither builds nor runs them. Native only: they count
# allocations by standing in for glibc's allocator and copy files with POSIX calls.
option(BRINDLECAP_BENCH "Build the benchmarks (needs Google Benchmark)" OFF)

if(BRINDLECAP_BENCH AND NOT WIN32)
  find_package(benchmark QUIET)
  if(NOT benchmark_FOUND)
    message(WARNING "Google Benchmark not found (libbenchmark-dev): no benchmarks are built")
  elseif(NOT BRINDLECAP_TESTS)
    message(WARNING "the benchmarks use the test helpers: turn BRINDLECAP_TESTS on to build them")
  else()
    foreach(source watcher/decode_perftest watcher/watcher_perftest)
      get_filename_component(perftest ${source} NAME)
      # The allocation counter is compiled into each program, not taken from an
      # archive, so that its malloc always replaces the C library's.
      add_executable(${perftest} ${source}.cpp
        tests/perftest_support.cpp tests/perftest_support.h)
      target_link_libraries(${perftest} PRIVATE test_support benchmark::benchmark)
    endforeach()
    add_executable(sort_perftest cli/sort_perftest.cpp
      tests/perftest_support.cpp tests/perftest_support.h)
    target_link_libraries(sort_perftest PRIVATE cli test_support)
    # stats against inflating the same files; it runs brindlecap-cli beside it to
    # measure the peak memory of a process of its own.
    add_executable(stats_perftest cli/stats_perftest.cpp
      tests/perftest_support.cpp tests/perftest_support.h)
    target_link_libraries(stats_perftest PRIVATE cli test_support)
    add_dependencies(stats_perftest brindlecap-cli)
    # The peak memory of brindlecap-cli's commands given a 2 GiB file, each in a
    # process of its own.
    add_executable(big_file_perftest cli/big_file_perftest.cpp
      tests/perftest_support.cpp tests/perftest_support.h)
    target_link_libraries(big_file_perftest PRIVATE test_support)
    add_dependencies(big_file_perftest brindlecap-cli)
  endif()
endif()

# The whole-replay reading against inflating the same blocks (make bench), and per
# file for the w3gjs comparison (make bench-peer).
if(BRINDLECAP_BENCH AND NOT WIN32 AND benchmark_FOUND AND BRINDLECAP_TESTS)
  add_executable(game_perftest replay/game_perftest.cpp
    tests/perftest_support.cpp tests/perftest_support.h)
  target_link_libraries(game_perftest PRIVATE replay test_support benchmark::benchmark)
endif()
