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
#     nsis/Plugins/x86-ansi/  nsis/Plugins/x86-unicode/  nsis/Plugins/amd64-unicode/
#                   TvrModem.dll, the NSIS plug-in, one per NSIS flavour, in the folders
#                   NSIS's own Plugins folder has (copy them there, or !addplugindir)
#     examples/     NSIS, Inno Setup and C setup programs, and a WiX package
#
#     SHA256SUMS    the SHA-256 of every other file, as "sha256sum -c" reads it
#   and beside the archive build/dist/SHA256SUMS, the SHA-256 of the archive.
#
# The version is the one project() gave both builds (their generated telvarid_version.h).
# Text files get CR LF line ends, as Windows editors expect. No test program, test
# double or build file goes in.
#
# Reproducible: the same commit gives the same archive, byte for byte. Every entry
# carries the time TVR_SOURCE_DATE_EPOCH (the commit's, from the Makefile), the same
# permissions and no extra fields (owner, Unix times); the entries are in one sorted
# order; the zip's MS-DOS times are written in UTC.
#
# Signing (optional), with osslsigncode, Authenticode with SHA-256, before the checksums:
#   -DTVR_SIGN_CERT=cert.pem -DTVR_SIGN_KEY=key.pem   certificate (chain) and private key
#   -DTVR_SIGN_PKCS12=author.p12                      or both in one PKCS#12 file
#   -DTVR_SIGN_TIMESTAMP_URL=http://...               an RFC 3161 time-stamp server
# The password of the key or of the PKCS#12 file, if it has one, is read from the
# environment variable TVR_SIGN_PASSWORD and handed to osslsigncode on its standard
# input, never on a command line.
cmake_minimum_required(VERSION 3.21)
get_filename_component(TVR_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
foreach(var TVR_DLL_DIR TVR_DLL64_DIR TVR_DIST_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "dist: ${var} is not set (see the top of cmake/dist.cmake)")
  endif()
endforeach()
if(NOT TVR_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(FATAL_ERROR "dist: no commit time: run it from a git checkout, or set SOURCE_DATE_EPOCH "
    "to the release's time in seconds since 1970 (make dist SOURCE_DATE_EPOCH=...)")
endif()

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
find_program(TVR_TOUCH touch)
if(NOT TVR_DLLTOOL OR NOT TVR_ZIP OR NOT TVR_TOUCH)
  message(FATAL_ERROR "dist: llvm-dlltool, zip and touch are needed (tools/setup-machine.sh dist)")
endif()
set(signing OFF)
if(TVR_SIGN_CERT OR TVR_SIGN_KEY OR TVR_SIGN_PKCS12)
  set(signing ON)
  find_program(TVR_OSSLSIGNCODE osslsigncode)
  if(NOT TVR_OSSLSIGNCODE)
    message(FATAL_ERROR "dist: signing needs osslsigncode (tools/setup-machine.sh dist)")
  endif()
  if(TVR_SIGN_PKCS12)
    if(TVR_SIGN_CERT OR TVR_SIGN_KEY)
      message(FATAL_ERROR "dist: give either SIGN_PKCS12 or SIGN_CERT with SIGN_KEY, not both")
    endif()
    set(sign_identity -pkcs12 ${TVR_SIGN_PKCS12})
    set(sign_files ${TVR_SIGN_PKCS12})
  elseif(TVR_SIGN_CERT AND TVR_SIGN_KEY)
    set(sign_identity -certs ${TVR_SIGN_CERT} -key ${TVR_SIGN_KEY})
    set(sign_files ${TVR_SIGN_CERT} ${TVR_SIGN_KEY})
  else()
    message(FATAL_ERROR "dist: SIGN_CERT and SIGN_KEY go together")
  endif()
  foreach(file ${sign_files})
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "dist: ${file} does not exist")
    endif()
  endforeach()
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
file(REMOVE ${TVR_DIST_DIR}/SHA256SUMS)
file(MAKE_DIRECTORY ${root}/x86 ${root}/x64)

# Text files, kept apart so that they alone get CR LF line ends.
set(text_files LICENSE README.txt CHANGELOG.txt telvarid.h telvarid.def)
file(COPY ${TVR_SOURCE_DIR}/LICENSE ${TVR_SOURCE_DIR}/release/CHANGELOG.txt ${TVR_SOURCE_DIR}/frame/telvarid.h
  ${TVR_SOURCE_DIR}/frame/telvarid.def DESTINATION ${root})
set(TVR_VERSION ${version})
if(signing)
  set(TVR_SIGNATURE_TEXT "The DLLs and tvrprobe.exe of this release are signed (Authenticode, SHA-256).")
else()
  set(TVR_SIGNATURE_TEXT "This release is unsigned: its DLLs and tvrprobe.exe carry no Authenticode signature.")
endif()
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
  # The custom actions are stdcall, which MSVC names _Name@4 on x86: there the import
  # library is made from the .def's lines "Name = Name@4" turned into "Name@4", with -k,
  # so that _Name@4 is looked up as the export Name. x64 has one convention and no
  # decoration.
  set(def ${TVR_SOURCE_DIR}/frame/telvarid.def)
  set(dlltool_options)
  if(arch STREQUAL "x86")
    file(READ ${def} def_text)
    string(REGEX REPLACE "([A-Za-z]+) *= *([A-Za-z]+@[0-9]+) *(@[0-9]+)" "\\2 \\3" def_text "${def_text}")
    set(def ${TVR_DIST_DIR}/telvarid-x86-msvc.def)
    file(WRITE ${def} "${def_text}")
    set(dlltool_options -k)
  endif()
  execute_process(COMMAND ${TVR_DLLTOOL} -m ${machine} ${dlltool_options} -d ${def}
      -l ${root}/${arch}/telvarid.lib
    RESULT_VARIABLE rc)
  if(arch STREQUAL "x86")
    file(REMOVE ${def})
  endif()
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "dist: llvm-dlltool failed for ${arch}")
  endif()
  list(APPEND binary_files ${arch}/telvarid.lib)
endforeach()

# The NSIS plug-in, each flavour from the build of its machine type.
set(plugin_files)
foreach(flavour x86-ansi x86-unicode amd64-unicode)
  if(flavour STREQUAL "amd64-unicode")
    set(dir ${TVR_DLL64_DIR}/Plugins/${flavour})
  else()
    set(dir ${TVR_DLL_DIR}/Plugins/${flavour})
  endif()
  if(NOT EXISTS ${dir}/TvrModem.dll)
    message(FATAL_ERROR "dist: ${dir}/TvrModem.dll is missing: build the DLLs first (make dll)")
  endif()
  file(COPY ${dir}/TvrModem.dll DESTINATION ${root}/nsis/Plugins/${flavour})
  list(APPEND binary_files nsis/Plugins/${flavour}/TvrModem.dll)
  list(APPEND plugin_files nsis/Plugins/${flavour}/TvrModem.dll)
endforeach()

# Signing, on the copies in the stage, before anything is summed or zipped.
if(signing)
  set(sign_options -h sha256 -n "telvarid ${version}")
  if(TVR_SIGN_TIMESTAMP_URL)
    list(APPEND sign_options -ts ${TVR_SIGN_TIMESTAMP_URL})
  endif()
  # The password goes from the environment to osslsigncode's standard input through the
  # shell's own printf, so no process's command line ever holds it. osslsigncode reads
  # it as a file: "/dev/stdin", since "-" for standard input came only with 2.9, and
  # Debian 12 ships 2.5, which takes "-" for a file of that name and signs nothing.
  set(sign_password)
  if(DEFINED ENV{TVR_SIGN_PASSWORD})
    set(sign_password -readpass /dev/stdin)
  endif()
  foreach(file x86/telvarid.dll x64/telvarid.dll x86/tvrprobe.exe x64/tvrprobe.exe ${plugin_files})
    set(unsigned ${root}/${file}.unsigned)
    file(RENAME ${root}/${file} ${unsigned})
    execute_process(COMMAND sh -c "printf '%s' \"\$TVR_SIGN_PASSWORD\" | \"\$@\"" sign
        ${TVR_OSSLSIGNCODE} sign ${sign_identity} ${sign_password} ${sign_options}
        -in ${unsigned} -out ${root}/${file}
      RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
    file(REMOVE ${unsigned})
    if(NOT rc EQUAL 0)
      file(REMOVE_RECURSE ${stage})
      message(FATAL_ERROR "dist: osslsigncode could not sign ${file}:\n${out}")
    endif()
  endforeach()
endif()

# Text files: CR LF line ends, written here so that the checksums are those of the
# bytes in the archive.
foreach(file ${text_files})
  file(READ ${root}/${file} content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE ${root}/${file} "${content}")
endforeach()

# SHA256SUMS of every file, sorted, with the paths relative to the top folder:
#   cd telvarid-<version> && sha256sum -c SHA256SUMS
set(entries ${text_files} ${binary_files})
list(SORT entries)
set(sums "")
foreach(file ${entries})
  file(SHA256 ${root}/${file} hash)
  string(APPEND sums "${hash}  ${file}\r\n")
endforeach()
file(WRITE ${root}/SHA256SUMS "${sums}")
list(APPEND entries SHA256SUMS)
list(SORT entries)

# Every entry the same: the commit's time, rw-r--r-- (rwxr-xr-x for the programs).
foreach(file ${entries})
  if(file MATCHES "\\.(dll|exe)$")
    set(mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    set(mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  file(CHMOD ${root}/${file} PERMISSIONS ${mode})
endforeach()
list(TRANSFORM entries PREPEND ${top}/ OUTPUT_VARIABLE paths)
execute_process(COMMAND ${TVR_TOUCH} -d @${TVR_SOURCE_DATE_EPOCH} ${paths}
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dist: touch failed")
endif()

# The archive: one zip run over the sorted list, no directory entries (-D), no extra
# fields (-X), the MS-DOS times in UTC.
execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${TVR_ZIP} -q -X -D ${archive} ${paths}
  WORKING_DIRECTORY ${stage} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dist: zip failed")
endif()
file(REMOVE_RECURSE ${stage})
file(SHA256 ${archive} hash)
file(WRITE ${TVR_DIST_DIR}/SHA256SUMS "${hash}  ${top}.zip\n")
if(signing)
  message(STATUS "dist: ${archive} (signed)")
else()
  message(STATUS "dist: ${archive} (unsigned)")
endif()
