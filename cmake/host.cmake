# Unit level: production sources on the Win32 test double, with ASan and UBSan.
find_package(GTest REQUIRED)
include(GoogleTest)
enable_testing()

set(TVR_SANITIZERS -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)

# The production sources, compiled exactly as they are, with <windows.h> resolved to
# the test double. The find's window is the one exception: the double has no window
# manager to pump, so tests/win32/fake_findwindow.cpp stands in for find/FindWindow.cpp
# (its interface, find/FindWindow.h), and the window itself is tested under Wine.
set(TVR_HOST_SOURCES ${TVR_PRODUCTION_SOURCES})
list(FILTER TVR_HOST_SOURCES EXCLUDE REGEX "/find/FindWindow\\.cpp$")
add_library(tvr_core STATIC ${TVR_HOST_SOURCES}
  # The NSIS plug-in's answers; its stack glue needs NSIS's plug-in library, which only
  # the Windows builds link.
  ${CMAKE_SOURCE_DIR}/tvrmodem/PluginAnswers.cpp)
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
# One CTest test per test program, all its cases in one process: a process per case
# starts ASan and UBSan over 700 times, about six minutes of processor time that make
# test's other work (the guest above all) needs, against two seconds for all of them in
# one. A failed run names each failed case and why (--output-on-failure, which make test
# gives); one case alone: build/host/tvr_unit --gtest_filter=SUITE.CASE.
add_test(NAME unit.cases COMMAND tvr_unit --gtest_brief=1)
set_tests_properties(unit.cases PROPERTIES LABELS unit)
# The dialog cases once more, through TVRInitTextDialogW (tests/unit/dialog_entry.h).
add_test(NAME unit.wide COMMAND tvr_unit --gtest_brief=1 --gtest_filter=*TextDialog*Test.*:NullArgumentTest.Dialog*)
set_tests_properties(unit.wide PROPERTIES LABELS unit ENVIRONMENT TVR_DIALOG_ENTRY=wide)

# Native Linux tools for the integration level (the Hayes modem emulator).
file(GLOB TVR_EMU_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/emu/*.cpp)
if(TVR_EMU_SOURCES)
  add_executable(tvr_modememu ${TVR_EMU_SOURCES})
  target_compile_options(tvr_modememu PRIVATE -Wall -Wextra -O2)
  target_link_libraries(tvr_modememu PRIVATE util)
endif()

# Integration level: the real DLLs under Wine. Each tests/wine/suite-*.sh is one CTest
# test per build: wine32.NAME runs it against the PE32 DLL under wine32, wine64.NAME
# against the PE32+ DLL under wine64. Each build has its own private Wine prefix, made
# by its fixture (GROUP.prefix); the suites that run on this machine run one at a time
# (the lock wine-native), because their timing checks must not share the machine's two
# cores with each other.
# Where the kernel runs no 32-bit programs, the PE32 build runs inside a guest
# (tests/vm): wine32.prefix then boots it once, makes the prefix there and runs every
# suite in that one boot, each suite's output, status and time under the rig folder;
# each wine32.NAME prints its suite's output and ends with its status, so CTest lists it
# passed or failed exactly as a native run. The guest's session holds no lock: the
# native suites run beside it, while the guest's own suites keep their timing honest by
# measuring against a reference taken in the guest at the same time (suite-hostile.sh).
# In the guest the suites run in two lanes (tests/wine/rig.sh vm_session); those whose
# checks hold a fixed duration run there alone.
# Only where neither route can run does a test exit with 77 after a line that says why:
# CTest lists it as skipped.
set(TVR_DLL_DIR "${CMAKE_SOURCE_DIR}/build/dll" CACHE PATH "build folder of the dll preset (PE32)")
set(TVR_DLL64_DIR "${CMAKE_SOURCE_DIR}/build/dll64" CACHE PATH "build folder of the dll64 preset (PE32+)")
# The Wine prefixes, port links and logs: one rig for the tests, the demo and the bench.
set(TVR_RIG_DIR "${CMAKE_SOURCE_DIR}/build/rig" CACHE PATH "folder of the Wine rig")
file(GLOB TVR_WINE_SUITES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/suite-*.sh)
if(TVR_WINE_SUITES)
  set(TVR_RIG_ENV "TVR_DLL_DIR=${TVR_DLL_DIR}" "TVR_DLL64_DIR=${TVR_DLL64_DIR}"
      "TVR_HOST_DIR=${CMAKE_BINARY_DIR}" "TVR_RIG_DIR=${TVR_RIG_DIR}")
  foreach(arch x86 x64)
    if(arch STREQUAL "x86")
      set(group wine32)
    else()
      set(group wine64)
    endif()
    # The guest session (every PE32 suite under software emulation) takes about half an
    # hour; the guest stops itself after 4500 s and says so, before CTest's time-out.
    add_test(NAME ${group}.prefix COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/rig.sh session ${arch} ${TVR_WINE_SUITES})
    set_tests_properties(${group}.prefix PROPERTIES FIXTURES_SETUP ${group}prefix LABELS "wine;${group}"
      ENVIRONMENT "${TVR_RIG_ENV}" TIMEOUT 4800 SKIP_RETURN_CODE 77 COST 100000)
    foreach(suite ${TVR_WINE_SUITES})
      get_filename_component(name ${suite} NAME_WE)
      string(REPLACE "suite-" "" name ${name})
      add_test(NAME ${group}.${name} COMMAND ${CMAKE_SOURCE_DIR}/tests/wine/rig.sh report ${arch} ${suite})
      set_tests_properties(${group}.${name} PROPERTIES FIXTURES_REQUIRED ${group}prefix
        RESOURCE_LOCK wine-native LABELS "wine;${group}" ENVIRONMENT "${TVR_RIG_ENV}" TIMEOUT 900
        SKIP_RETURN_CODE 77)
    endforeach()
  endforeach()
endif()

# Benchmark helper: counts the telephony query's heap allocations on the counting heap.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/bench/telephony_allocs.cpp)
  add_executable(tvr_bench_telephony ${CMAKE_SOURCE_DIR}/tests/bench/telephony_allocs.cpp
    ${CMAKE_SOURCE_DIR}/tests/win32/fake_platform.cpp ${CMAKE_SOURCE_DIR}/tests/win32/fake_tapi.cpp
    ${CMAKE_SOURCE_DIR}/tests/win32/fake_msi.cpp)
  target_compile_options(tvr_bench_telephony PRIVATE ${TVR_SANITIZERS} -Wall -Wextra)
  target_link_libraries(tvr_bench_telephony PRIVATE tvr_core)
  target_link_options(tvr_bench_telephony PRIVATE -Wl,--wrap=malloc -Wl,--wrap=free)
endif()

# Static checks of both DLLs, read as files without Wine, so they run on every machine:
# machine type, exports by name and ordinal, imports, version resource; and of every
# shipped binary, the hardening a security review reads (ASLR, DEP, relocations).
add_executable(tvr_pecheck ${CMAKE_SOURCE_DIR}/tests/pe/pe_check_test.cpp ${CMAKE_SOURCE_DIR}/tests/pe/pe_image.cpp)
target_compile_options(tvr_pecheck PRIVATE ${TVR_SANITIZERS} -Wall -Wextra)
target_link_options(tvr_pecheck PRIVATE ${TVR_SANITIZERS})
target_compile_definitions(tvr_pecheck PRIVATE TVR_DLL32_PATH="${TVR_DLL_DIR}/telvarid.dll"
  TVR_DLL64_PATH="${TVR_DLL64_DIR}/telvarid.dll" TVR_DLL32_DIR="${TVR_DLL_DIR}" TVR_DLL64_DIR="${TVR_DLL64_DIR}"
  TVR_PLUGIN_X86_ANSI_PATH="${TVR_DLL_DIR}/Plugins/x86-ansi/TvrModem.dll"
  TVR_PLUGIN_X86_UNICODE_PATH="${TVR_DLL_DIR}/Plugins/x86-unicode/TvrModem.dll"
  TVR_PLUGIN_AMD64_UNICODE_PATH="${TVR_DLL64_DIR}/Plugins/amd64-unicode/TvrModem.dll")
target_link_libraries(tvr_pecheck PRIVATE GTest::gtest GTest::gtest_main)
add_test(NAME static.pe COMMAND tvr_pecheck --gtest_brief=1)
set_tests_properties(static.pe PROPERTIES LABELS static)
# The objects both DLLs are linked from need no C runtime start-up (DllMain is the entry).
foreach(dir ${TVR_DLL_DIR} ${TVR_DLL64_DIR})
  get_filename_component(build ${dir} NAME)
  add_test(NAME static.objects.${build} COMMAND ${CMAKE_SOURCE_DIR}/tests/pe/check-objects.sh ${dir})
  set_tests_properties(static.objects.${build} PROPERTIES LABELS static)
endforeach()

# The release archive of make dist, checked as a file without Wine (tests/dist): exactly
# the files it should hold, each the build's or the source's, the import libraries, and
# a program linked as Microsoft's tools link one. Plus the pure pieces of tvrprobe's
# report, natively.
set(TVR_DIST_DIR "${CMAKE_SOURCE_DIR}/build/dist" CACHE PATH "folder of the release archive (make dist)")
set(TVR_DIST_ZIP ${TVR_DIST_DIR}/telvarid-${PROJECT_VERSION}.zip)
foreach(check listing contents importlib checksums msvclink)
  add_test(NAME static.dist.${check} COMMAND ${CMAKE_SOURCE_DIR}/tests/dist/check-archive.sh ${check}
    ${TVR_DIST_ZIP} ${PROJECT_VERSION} ${TVR_DLL_DIR} ${TVR_DLL64_DIR})
  set_tests_properties(static.dist.${check} PROPERTIES LABELS static)
endforeach()
# A release signed with a throwaway certificate verifies, and an altered file does not.
add_test(NAME static.dist.signing COMMAND ${CMAKE_SOURCE_DIR}/tests/dist/check-signing.sh ${CMAKE_SOURCE_DIR}
  ${TVR_DLL_DIR} ${TVR_DLL64_DIR} ${TVR_DIST_ZIP} $<TARGET_FILE:tvr_pecheck>)
set_tests_properties(static.dist.signing PROPERTIES LABELS static)
# Two releases of this commit, built from two folders into two others, are the same
# bytes: the one make dist left in the build folder, and one built here from a copy of
# the sources. Builds everything again, so never beside a native Wine suite's timing
# checks.
add_test(NAME static.dist.reproducible COMMAND ${CMAKE_SOURCE_DIR}/tests/dist/check-reproducible.sh
  ${CMAKE_SOURCE_DIR} ${TVR_DIST_DIR}/..)
set_tests_properties(static.dist.reproducible PROPERTIES LABELS static RESOURCE_LOCK wine-native TIMEOUT 1800
  SKIP_RETURN_CODE 77)
# The report reads the telephony blocks with the library's own readers: TapiLayout.cpp,
# compiled with <windows.h> resolved to the test double (it calls no platform function).
add_executable(tvr_report_test ${CMAKE_SOURCE_DIR}/tests/dist/report_text_test.cpp
  ${CMAKE_SOURCE_DIR}/telephony/TapiLayout.cpp)
target_include_directories(tvr_report_test PRIVATE ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/tests/win32)
target_compile_options(tvr_report_test PRIVATE ${TVR_SANITIZERS} -Wall -Wextra)
target_link_options(tvr_report_test PRIVATE ${TVR_SANITIZERS})
target_link_libraries(tvr_report_test PRIVATE GTest::gtest GTest::gtest_main)
add_test(NAME unit.report COMMAND tvr_report_test --gtest_brief=1)
set_tests_properties(unit.report PROPERTIES LABELS unit)
