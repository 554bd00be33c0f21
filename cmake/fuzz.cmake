# Coverage-guided fuzzing with clang's libFuzzer, AddressSanitizer and UBSan. Each
# tests/fuzz/fuzz_NAME.cpp is one harness, linked with the production sources and, where
# it drives an export, the Win32 test double. Each harness is also one CTest test,
# fuzz.NAME, that runs a fixed number of inputs from a fixed seed, starting from its
# corpus in tests/fuzz/corpus/NAME, so that CI's run is repeatable. `make fuzz` runs
# each harness for a set time instead (tests/fuzz/run.sh).
enable_testing()

set(TVR_FUZZ_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
set(TVR_FUZZ_RUNS 20000 CACHE STRING "inputs each fuzz.NAME CTest test runs")

# The production sources with coverage instrumentation, the double's headers first.
# The find's window needs a window manager the double does not have (see host.cmake).
set(TVR_FUZZ_SOURCES ${TVR_PRODUCTION_SOURCES})
list(FILTER TVR_FUZZ_SOURCES EXCLUDE REGEX "/find/FindWindow\\.cpp$")
add_library(tvr_fuzz_core STATIC ${TVR_FUZZ_SOURCES})
target_include_directories(tvr_fuzz_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/win32)
target_compile_options(tvr_fuzz_core PRIVATE ${TVR_PRODUCTION_FLAGS} ${TVR_FUZZ_SANITIZERS} -fsanitize=fuzzer-no-link -g -O1)

file(GLOB TVR_DOUBLE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
add_library(tvr_fuzz_double STATIC ${TVR_DOUBLE_SOURCES})
target_include_directories(tvr_fuzz_double PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/win32)
target_compile_options(tvr_fuzz_double PRIVATE ${TVR_FUZZ_SANITIZERS} -g -O1)

file(GLOB TVR_FUZZ_HARNESSES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/fuzz/fuzz_*.cpp)
foreach(harness ${TVR_FUZZ_HARNESSES})
  get_filename_component(name ${harness} NAME_WE)
  string(REPLACE "fuzz_" "" name ${name})
  add_executable(fuzz_${name} ${harness})
  target_compile_options(fuzz_${name} PRIVATE ${TVR_FUZZ_SANITIZERS} -fsanitize=fuzzer -g -O1 -Wall -Wextra)
  target_link_options(fuzz_${name} PRIVATE ${TVR_FUZZ_SANITIZERS} -fsanitize=fuzzer)
  target_link_libraries(fuzz_${name} PRIVATE tvr_fuzz_core tvr_fuzz_double)
  # The production code's heap calls reach the counting heap of the double.
  target_link_options(fuzz_${name} PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free)
  add_test(NAME fuzz.${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/replay.sh
    $<TARGET_FILE:fuzz_${name}> ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${name} ${TVR_FUZZ_RUNS})
  set_tests_properties(fuzz.${name} PROPERTIES LABELS fuzz TIMEOUT 600)
endforeach()
