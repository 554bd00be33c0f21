# The release archive: build/dist/telvarid-<version>.zip, everything an installer author
# needs and nothing that only tests. Run in script mode by "make dist" after both DLL
# builds:
#   cmake -DTVR_DLL_DIR=build/dll -DTVR_DLL64_DIR=build/dll64 -DTVR_DIST_DIR=build/dist
#         -P cmake/dist.cmake
#
#   telvarid-<version>/
#     LICENSE  README.txt  CHANGELOG.txt  telvarid.h  telvarid.def
#     x86/  x64/    telvarid.dll, libtelvarid.dll.a (MinGW), telvarid.lib (Microsoft's
#                   linker, made here by llvm-dlltool from the .def), tvrprobe.exe
#     examples/     NSIS, Inno Setup and C setup programs
#
# The version is the one project() gave both builds (their generated telvarid_version.h).
# Text files get CR LF line ends, as Windows editors expect; the entries are in a fixed
# order. No test program, test double or build file goes in.
cmake_minimum_required(VERSION 3.21)
get_filename_component(TVR_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
foreach(var TVR_DLL_DIR TVR_DLL64_DIR TVR_DIST_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "dist: ${var} is not set (see the top of cmake/dist.cmake)")
  endif()
endforeach()

# The version of one build, from the header CMake generated when it configured it.
function(tvr_build_version dir out)
  set(header ${dir}/generated/telvarid_version.h)
  if(NOT EXISTS ${header})
    message(FATAL_ERROR "dist: ${header} is missing: build the DLLs first (make dll)")
  endif()
  file(STRINGS ${header} line REGEX "^#define TVR_VERSION_TEXT ")
  string(REGEX REPLACE "^#define TVR_VERSION_TEXT \"([^\"]+)\".*$" "\\1" version "${line}")
  set(${out} ${version} PARENT_SCOPE)
endfunction()

tvr_build_version(${TVR_DLL_DIR} version32)
tvr_build_version(${TVR_DLL64_DIR} version64)
if(NOT version32 STREQUAL version64)
  message(FATAL_ERROR "dist: the PE32 build is ${version32} and the PE32+ build ${version64}: rebuild both")
endif()
set(version ${version32})

find_program(TVR_DLLTOOL llvm-dlltool)
find_program(TVR_ZIP zip)
if(NOT TVR_DLLTOOL OR NOT TVR_ZIP)
  message(FATAL_ERROR "dist: llvm-dlltool and zip are needed (tools/setup-machine.sh dist)")
endif()

set(top telvarid-${version})
set(stage ${TVR_DIST_DIR}/stage)
set(root ${stage}/${top})
set(archive ${TVR_DIST_DIR}/${top}.zip)
file(REMOVE_RECURSE ${stage})
file(GLOB old_archives ${TVR_DIST_DIR}/telvarid-*.zip)
if(old_archives)
  file(REMOVE ${old_archives})
endif()
file(MAKE_DIRECTORY ${root}/x86 ${root}/x64)

# Text files, kept apart so that they alone get CR LF line ends.
set(text_files LICENSE README.txt CHANGELOG.txt telvarid.h telvarid.def)
file(COPY ${TVR_SOURCE_DIR}/LICENSE ${TVR_SOURCE_DIR}/release/CHANGELOG.txt ${TVR_SOURCE_DIR}/frame/telvarid.h
  ${TVR_SOURCE_DIR}/frame/telvarid.def DESTINATION ${root})
set(TVR_VERSION ${version})
configure_file(${TVR_SOURCE_DIR}/release/README.txt ${root}/README.txt @ONLY)
file(GLOB_RECURSE examples RELATIVE ${TVR_SOURCE_DIR} ${TVR_SOURCE_DIR}/examples/*)
foreach(example ${examples})
  get_filename_component(dir ${example} DIRECTORY)
  file(COPY ${TVR_SOURCE_DIR}/${example} DESTINATION ${root}/${dir})
  list(APPEND text_files ${example})
endforeach()

# Each build's binaries, and the import library for Microsoft's linker. On x86 the .def
# names are the undecorated export names: llvm-dlltool gives the import symbols the
# leading underscore of the cdecl convention (_TVRScanForModem, __imp__TVRScanForModem)
# and marks each import to be looked up by the name without it, which is the export.
set(binary_files)
foreach(arch x86 x64)
  if(arch STREQUAL "x86")
    set(dir ${TVR_DLL_DIR})
    set(machine i386)
  else()
    set(dir ${TVR_DLL64_DIR})
    set(machine i386:x86-64)
  endif()
  foreach(file telvarid.dll libtelvarid.dll.a tvrprobe.exe)
    if(NOT EXISTS ${dir}/${file})
      message(FATAL_ERROR "dist: ${dir}/${file} is missing: build the DLLs first (make dll)")
    endif()
    file(COPY ${dir}/${file} DESTINATION ${root}/${arch})
    list(APPEND binary_files ${arch}/${file})
  endforeach()
  execute_process(COMMAND ${TVR_DLLTOOL} -m ${machine} -d ${TVR_SOURCE_DIR}/frame/telvarid.def
      -l ${root}/${arch}/telvarid.lib
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dist: llvm-dlltool failed for ${arch}")
  endif()
  list(APPEND binary_files ${arch}/telvarid.lib)
endforeach()

# The archive: text files with CR LF (zip -l), then the binaries as they are; each group
# sorted, without directory entries.
function(tvr_zip)
  cmake_parse_arguments(Z "" "" "OPTIONS;FILES" ${ARGN})
  list(SORT Z_FILES)
  list(TRANSFORM Z_FILES PREPEND ${top}/)
  execute_process(COMMAND ${TVR_ZIP} -q -X -D ${Z_OPTIONS} ${archive} ${Z_FILES}
    WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dist: zip failed")
  endif()
endfunction()
tvr_zip(OPTIONS -l FILES ${text_files})
tvr_zip(FILES ${binary_files})
file(REMOVE_RECURSE ${stage})
message(STATUS "dist: ${archive}")
