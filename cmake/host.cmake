# Unit level: production sources on the Win32 test double, with ASan and UBSan.
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

set(TVR_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The production sources, compiled exactly as they are, with <windows.h> resolved to
# the test double.
add_library(tvr_core STATIC ${TVR_PRODUCTION_SOURCES})
target_include_directories(tvr_core PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/win32)
target_compile_options(tvr_core PRIVATE ${TVR_PRODUCTION_FLAGS} ${TVR_SANITIZERS})
target_link_options(tvr_core PUBLIC ${TVR_SANITIZERS})

file(GLOB TVR_DOUBLE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win32/*.cpp)
file(GLOB TVR_UNIT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(tvr_unit ${TVR_UNIT_SOURCES} ${TVR_DOUBLE_SOURCES})
target_compile_options(tvr_unit PRIVATE ${TVR_SANITIZERS} -Wall -Wextra)
target_link_libraries(tvr_unit PRIVATE tvr_core GTest::gtest GTest::gtest_main)
# The production code's heap calls reach the counting heap of the double.
target_link_options(tvr_unit PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free)
gtest_discover_tests(tvr_unit DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

# Native Linux tools for the integration level (the Hayes modem emulator).
file(GLOB TVR_EMU_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/emu/*.cpp)
if(TVR_EMU_SOURCES)
  add_executable(tvr_modememu ${TVR_EMU_SOURCES})
  target_compile_options(tvr_modememu PRIVATE -Wall -Wextra -O2)
  target_link_libraries(tvr_modememu PRIVATE util)
endif()

# Integration level: the real DLL under Wine. Each tests/wine/suite-*.sh is one CTest
# test; they share one private Wine prefix, made by the fixture, and run one at a time
# because they share its COM1-COM4 pins.
set(TVR_DLL_DIR "${CMAKE_SOURCE_DIR}/build/dll" CACHE PATH "build folder of the dll preset")
# The Wine prefix, port links and logs: one rig for the tests, the demo and the bench.
set(TVR_RIG_DIR "${CMAKE_SOURCE_DIR}/build/rig" CACHE PATH "folder of the Wine rig")
file(GLOB TVR_WINE_SUITES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/suite-*.sh)
if(TVR_WINE_SUITES)
  set(TVR_RIG_ENV "TVR_DLL_DIR=${TVR_DLL_DIR}" "TVR_HOST_DIR=${CMAKE_BINARY_DIR}"
      "TVR_RIG_DIR=${TVR_RIG_DIR}")
  add_test(NAME wine.prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/rig.sh prefix)
  set_tests_properties(wine.prefix PROPERTIES FIXTURES_SETUP wineprefix LABELS wine
    ENVIRONMENT "${TVR_RIG_ENV}" TIMEOUT 300)
  foreach(suite ${TVR_WINE_SUITES})
    get_filename_component(name ${suite} NAME_WE)
    string(REPLACE "suite-" "" name ${name})
    add_test(NAME wine.${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/rig.sh run ${suite})
    set_tests_properties(wine.${name} PROPERTIES FIXTURES_REQUIRED wineprefix RUN_SERIAL ON
      LABELS wine ENVIRONMENT "${TVR_RIG_ENV}" TIMEOUT 900)
  endforeach()
endif()

# Benchmark helper: counts the telephony query's heap allocations on the counting heap.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/bench/telephony_allocs.cpp)
  add_executable(tvr_bench_telephony ${CMAKE_SOURCE_DIR}/tests/bench/telephony_allocs.cpp
    ${CMAKE_SOURCE_DIR}/tests/win32/fake_platform.cpp ${CMAKE_SOURCE_DIR}/tests/win32/fake_tapi.cpp)
  target_compile_options(tvr_bench_telephony PRIVATE ${TVR_SANITIZERS} -Wall -Wextra)
  target_link_libraries(tvr_bench_telephony PRIVATE tvr_core)
  target_link_options(tvr_bench_telephony PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free)
endif()
