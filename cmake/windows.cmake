# The real telvarid.dll and the Windows-side programs that load it.
enable_language(RC)

# No DLL that a setup program would have to ship: the GCC and C++ runtimes are linked
# statically, so the imports are the system's own (KERNEL32, USER32, GDI32, msvcrt).
set(TVR_STATIC_RUNTIME -static-libgcc -static-libstdc++)

add_library(telvarid SHARED
  ${TVR_PRODUCTION_SOURCES}
  ${CMAKE_SOURCE_DIR}/frame/telvarid.def
  ${CMAKE_SOURCE_DIR}/frame/telvarid.rc)
set_target_properties(telvarid PROPERTIES PREFIX "" OUTPUT_NAME telvarid
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}
  ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
target_include_directories(telvarid PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(telvarid PRIVATE ${TVR_PRODUCTION_FLAGS} -Os
  $<$<COMPILE_LANGUAGE:CXX>:-fno-asynchronous-unwind-tables>)
target_link_options(telvarid PRIVATE ${TVR_STATIC_RUNTIME} -s)
target_link_libraries(telvarid PRIVATE user32 gdi32 kernel32)

# Windows-side programs: each folder holds one program; all load telvarid.dll at run
# time by name, as a setup program does, and never link against it.
function(tvr_windows_program name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(srcs)
    add_executable(${name} ${srcs})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
    target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR} ${dir})
    target_compile_options(${name} PRIVATE -Wall -Wextra -O2)
    target_link_options(${name} PRIVATE ${TVR_STATIC_RUNTIME} -static)
    target_link_libraries(${name} PRIVATE user32 gdi32 kernel32 ${ARGN})
  endif()
endfunction()

tvr_windows_program(tvrprobe ${CMAKE_SOURCE_DIR}/tools/tvrprobe)
tvr_windows_program(tvrhost ${CMAKE_SOURCE_DIR}/tests/wine/host)
tvr_windows_program(tvrsoak ${CMAKE_SOURCE_DIR}/tests/wine/soak)
# The test host computes the expected dialog layout with the library's own pure geometry.
target_sources(tvrhost PRIVATE ${CMAKE_SOURCE_DIR}/dialog/DialogGeometry.cpp)

# The project's telephony double, placed as TAPI32.dll beside the test programs.
file(GLOB TVR_TAPI_DOUBLE_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/wine/tapi32/*.cpp)
if(TVR_TAPI_DOUBLE_SOURCES)
  add_library(tapi32double SHARED ${TVR_TAPI_DOUBLE_SOURCES} ${CMAKE_SOURCE_DIR}/tests/wine/tapi32/tapi32.def)
  set_target_properties(tapi32double PROPERTIES PREFIX "" OUTPUT_NAME TAPI32
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tapi
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tapi)
  target_compile_options(tapi32double PRIVATE -Wall -O2)
  target_link_options(tapi32double PRIVATE ${TVR_STATIC_RUNTIME} -Wl,--enable-stdcall-fixup)
endif()
