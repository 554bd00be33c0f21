#!/usr/bin/env bash
# telvarid.dll has no C runtime start-up: DllMain is the image's entry point and nothing
# runs before it. This reads the object files the DLL is linked from, as files, and
# fails on anything in them that only that start-up would have served:
#
#   sections   .ctors/.dtors, .init_array/.fini_array (static constructors and
#              destructors), .CRT$X* (the runtime's initializer tables), .tls/.tls$
#              (thread-local storage)
#   symbols    undefined references to atexit and its kin (a destructor registered at
#              run time), to the emulated-TLS and guarded-static helpers, to the C++
#              exception and unwind runtime, to the runtime's own start-up entry points
#              and its pseudo-relocation walker
#
# Pseudo-relocations (data imported from a DLL through auto-import) are refused by the
# link itself (--disable-auto-import --disable-runtime-pseudo-reloc in cmake/windows.cmake).
#
#   check-objects.sh DLL_BUILD_DIR     (build/dll or build/dll64)
set -euo pipefail

build=${1:?usage: check-objects.sh DLL_BUILD_DIR}
objdir=$build/CMakeFiles/telvarid.dir
mapfile -t objects < <(find "$objdir" -name '*.cpp.obj' 2>/dev/null | LC_ALL=C sort)
if ((${#objects[@]} == 0)); then
    echo "FAIL  no object files under $objdir: build the DLLs first (make dll)"
    exit 1
fi
case $(objdump -f "${objects[0]}" | sed -n 's/.*file format //p') in
pe-i386) tools=i686-w64-mingw32 ;;
pe-x86-64) tools=x86_64-w64-mingw32 ;;
*) echo "FAIL  ${objects[0]} is not a Windows object file"; exit 1 ;;
esac

# Section names (with or without a $ suffix) and undefined symbols (after the leading
# underscore of the i386 convention) that only a runtime start-up would serve.
bad_sections='^\.(ctors|dtors|init_array|fini_array|tls)([.$].*)?$|^\.CRT\$'
bad_symbols='^(atexit|_onexit|__cxa_atexit|__cxa_thread_atexit.*|__cxa_guard_.*|__emutls_.*|_tls_index|_tls_used|__dyn_tls_.*|__cxa_.*|__gxx_personality.*|_Unwind_.*|__main|_pei386_runtime_relocator|__mingw_.*|_initterm|_amsg_exit|DllMainCRTStartup.*|_CRT_INIT)(@[0-9]+)?$'

failed=0
sections=0 symbols=0
for obj in "${objects[@]}"; do
    name=${obj#"$objdir"/}
    while read -r section; do
        sections=$((sections + 1))
        if [[ $section =~ $bad_sections ]]; then
            echo "FAIL  $name has section $section, which only the runtime's start-up would run"
            failed=1
        fi
    done < <("$tools-objdump" -h "$obj" | awk '/^ *[0-9]+ / { print $2 }')
    while read -r symbol; do
        symbols=$((symbols + 1))
        bare=$symbol
        [[ $tools == i686-w64-mingw32 ]] && bare=${bare#_}
        if [[ $bare =~ $bad_symbols ]]; then
            echo "FAIL  $name needs $symbol, which the runtime's start-up would provide"
            failed=1
        fi
    done < <("$tools-nm" -u "$obj" | awk '{ print $NF }')
done
if ((failed == 0)); then
    echo "ok    ${#objects[@]} objects ($sections sections, $symbols undefined symbols) need no runtime start-up"
fi
exit $failed
