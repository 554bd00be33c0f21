#!/usr/bin/env bash
# The release is reproducible: "make dist" of one commit, run twice, from two source
# folders into two build folders, one after the other, gives the same archive byte for
# byte, and the same DLLs, programs and import libraries inside it. When the archives
# differ, this names the first file inside them that differs, in sorted order with
# SHA256SUMS last (or the archive's own entry data when every file is the same), and
# its first differing byte.
#
#   check-reproducible.sh SOURCE_DIR [BUILT_DIR]
#
# The first build uses SOURCE_DIR itself, the second a copy of its files (what git
# tracks, and untracked files it does not ignore) in another folder, with the same git
# history, so a source or build path that leaked into a binary shows up as a
# difference. Each build takes the commit's time from git, as "make dist" does.
#
# BUILT_DIR, where given, is a build folder that "make dist" has just filled from
# SOURCE_DIR (make test's own): its unsigned release stands for the first build, so
# only the copy is built here. A signed one cannot (a signature is made anew each
# time), nor a missing one: then both are built, as without BUILT_DIR. The build runs
# at a low priority, since it only has to be done before the guest's suites are.
set -euo pipefail

source_dir=$(cd "${1:?usage: check-reproducible.sh SOURCE_DIR [BUILT_DIR]}" && pwd)
built_dir=${2:-}
jobs=${JOBS:-2}
if ! git -C "$source_dir" rev-parse --git-dir >/dev/null 2>&1; then
    echo "skipped: $source_dir is not a git checkout, so there is no commit to take the time from"
    exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/tvr-reproducible.XXXXXX")
trap 'rm -rf "$work"' EXIT

copy=$work/source-copy
mkdir -p "$copy"
(cd "$source_dir" && git ls-files -z -c -o --exclude-standard | tar --null -T - -cf -) | tar -xf - -C "$copy"
ln -s "$source_dir/.git" "$copy/.git"

# One release: make dist from the folder $1 into the build folder $2.
build() {
    local src=$1 out=$2
    echo "-- make dist in $src, BUILD=$out"
    if ! nice -n 10 env -u SOURCE_DATE_EPOCH -u MAKEFLAGS -u MFLAGS -u MAKELEVEL -u SIGN_CERT -u SIGN_KEY -u SIGN_PKCS12 -u SIGN_TIMESTAMP_URL make -C "$src" dist BUILD="$out" JOBS="$jobs" >"$out.log" 2>&1; then
        echo "FAIL  make dist in $src failed:"
        tail -20 "$out.log" | sed 's/^/      /'
        exit 1
    fi
}
one=$work/one
unsigned() { unzip -p "$1" '*/README.txt' 2>/dev/null | tr -d '\r' | grep '^This release is unsigned' >/dev/null; }
if [[ -n $built_dir ]]; then
    zips=("$built_dir"/dist/telvarid-*.zip)
    if [[ ${#zips[@]} == 1 && -f ${zips[0]} && -f $built_dir/dist/SHA256SUMS ]] && unsigned "${zips[0]}"; then
        one=$built_dir
        echo "-- the first release is the one make dist left in $built_dir"
    else
        echo "-- $built_dir holds no one unsigned release, so both are built here"
    fi
fi
[[ $one != "$work/one" ]] || build "$source_dir" "$work/one"
build "$copy" "$work/two"

zips=("$one"/dist/telvarid-*.zip)
zip_one=${zips[0]}
zip_two=$work/two/dist/$(basename "$zip_one")
[[ -f $zip_one && -f $zip_two ]] || { echo "FAIL  an archive is missing"; exit 1; }

failed=0
if cmp -s "$zip_one" "$zip_two"; then
    echo "ok    $(basename "$zip_one") is the same in both builds ($(stat -c %s "$zip_one") bytes, SHA-256 $(sha256sum "$zip_one" | cut -c1-16)...)"
else
    failed=1
    mkdir -p "$work/unpacked-one" "$work/unpacked-two"
    unzip -q "$zip_one" -d "$work/unpacked-one"
    unzip -q "$zip_two" -d "$work/unpacked-two"
    first=""
    while IFS= read -r file; do
        if [[ ! -f $work/unpacked-two/$file ]] || ! cmp -s "$work/unpacked-one/$file" "$work/unpacked-two/$file"; then
            first=$file
            break
        fi
    done < <(cd "$work/unpacked-one" && find . -type f | sed 's|^\./||' | LC_ALL=C sort |
        awk '/\/SHA256SUMS$/ { last = $0; next } { print } END { if (last != "") print last }')
    if [[ -n $first ]]; then
        echo "FAIL  the archives differ; the first file that differs is $first:"
        cmp "$work/unpacked-one/$first" "$work/unpacked-two/$first" 2>&1 | sed 's/^/      /' || true
    else
        echo "FAIL  the archives differ, but not in any file's bytes: in their entries' data (times, modes, order):"
        diff <(zipinfo -v "$zip_one" | grep -v '^Archive:') <(zipinfo -v "$zip_two" | grep -v '^Archive:') |
            head -20 | sed 's/^/      /' || true
    fi
fi
# build/dist/SHA256SUMS names the same bytes in both.
if cmp -s "$one/dist/SHA256SUMS" "$work/two/dist/SHA256SUMS"; then
    echo "ok    build/dist/SHA256SUMS is the same in both builds"
else
    echo "FAIL  build/dist/SHA256SUMS differs"
    failed=1
fi
exit $failed
