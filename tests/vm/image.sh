#!/usr/bin/env bash
# Makes (once) the guest's kernel and initramfs for tests/vm/run.sh and prints the
# folder that holds them. Both come from Debian's own packages, fetched with
# `apt-get download` and unpacked, never installed: linux-image-amd64's kernel (whose
# 32-bit emulation is on, unlike the kernels some hosts boot) with the virtio, 9p and
# overlay modules, and busybox-static for the initramfs's tools.
#
# The cache (TVR_VM_CACHE, default /var/cache/telvarid-vm) lives outside the clone, so
# that every clone on the machine shares it. Its images are keyed on the two package
# versions: a new kernel or busybox in the archive makes a new image.
#
#   image.sh                  makes the image if it is missing; prints its folder
#   image.sh --kernel-package prints the kernel package linux-image-amd64 points at, or
#                             fails when apt knows none (the guest can't be made then)
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
cache=${TVR_VM_CACHE:-/var/cache/telvarid-vm}

# The kernel package that linux-image-amd64 points at, e.g. linux-image-6.1.0-57-amd64.
kpkg=$(apt-cache depends linux-image-amd64 2>/dev/null | awk '/Depends: linux-image-[0-9]/ {print $2; exit}')
[[ -n $kpkg ]] || { echo "vm: apt knows no linux-image-amd64; run apt-get update" >&2; exit 2; }
[[ ${1:-} == --kernel-package ]] && { echo "$kpkg"; exit 0; }
kver=$(apt-cache policy "$kpkg" | awk '/Candidate:/ {print $2}')
bver=$(apt-cache policy busybox-static | awk '/Candidate:/ {print $2}')
# The init script goes into the image too: a change to it makes a new one.
key="${kpkg#linux-image-}_${kver}_busybox-${bver//:/-}_init-$(cat "$here/init" "$here/image.sh" | sha256sum | cut -c1-12)"
dir=$cache/$key
if [[ -f $dir/initrd.gz && -f $dir/vmlinuz ]]; then
    echo "$dir"
    exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
[[ -f $dir/initrd.gz ]] && { echo "$dir"; exit 0; }
echo "vm: making the guest image $key in $cache (once per kernel version)" >&2
work=$(mktemp -d "$cache/.make.XXXXXX")
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download -q "$kpkg" busybox-static >/dev/null 2>&1) ||
    { echo "vm: apt-get download $kpkg busybox-static failed" >&2; exit 1; }
dpkg-deb -x "$work"/linux-image-*.deb "$work/k"
dpkg-deb -x "$work"/busybox-static_*.deb "$work/b"

ird=$work/initrd
mkdir -p "$ird"/{bin,dev,proc,sys,mnt,newroot,lib/modules}
cp "$work/b/bin/busybox" "$ird/bin/busybox"
# In load order: each module after the ones it needs.
mods=(virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_console
    netfs fscache 9pnet 9pnet_virtio 9p overlay)
for m in "${mods[@]}"; do
    f=$(find "$work"/k/lib/modules -name "$m.ko*" | head -n 1)
    [[ -n $f ]] || { echo "vm: module $m missing from $kpkg" >&2; exit 1; }
    case $f in
    *.xz) xz -dc "$f" >"$ird/lib/modules/$m.ko" ;;
    *.zst) zstd -qdc "$f" >"$ird/lib/modules/$m.ko" ;;
    *) cp "$f" "$ird/lib/modules/$m.ko" ;;
    esac
done
printf '%s\n' "${mods[@]}" >"$ird/lib/modules/order"
cp "$here/init" "$ird/init"
chmod +x "$ird/init"
(cd "$ird" && find . | "$work/b/bin/busybox" cpio -o -H newc 2>/dev/null | gzip -1) >"$work/initrd.gz"
mkdir -p "$work/out"
cp "$work"/k/boot/vmlinuz-* "$work/out/vmlinuz"
mv "$work/initrd.gz" "$work/out/initrd.gz"
rm -rf "$dir"
mv "$work/out" "$dir"
echo "$dir"
