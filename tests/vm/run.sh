#!/usr/bin/env bash
# Runs one command inside a guest whose kernel runs 32-bit programs, and returns its
# exit status; its output is streamed here as it comes.
#
#   run.sh [--timeout SECONDS] [--tmpfs PATH]... [--] COMMAND [ARG]...
#
# The guest is Debian's linux-image-amd64 kernel with a busybox initramfs (made and
# cached by tests/vm/image.sh) under qemu-system-x86_64, with software emulation (no
# KVM is needed). Its root is this machine's own /, read-only, under a tmpfs overlay,
# so it runs the programs installed here; the clone (the folder two levels above this
# script) and the image cache are shared read-write at their own paths; /tmp, /run and
# each --tmpfs PATH are the guest's own tmpfs. COMMAND runs as the caller, in the
# caller's folder, with the caller's environment. A guest still running after
# --timeout seconds (default TVR_VM_TIMEOUT, 3600) is stopped, and says so: exit 124.
#
# Environment: TVR_VM_CACHE (default /var/cache/telvarid-vm), TVR_VM_MEM (MiB, default
# 4096), TVR_VM_CPUS (default 2).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
clone=$(cd "$here/../.." && pwd)
cache=${TVR_VM_CACHE:-/var/cache/telvarid-vm}
timeout=${TVR_VM_TIMEOUT:-3600}
tmpfs=()
while (($#)); do
    case $1 in
    --timeout) timeout=$2; shift 2 ;;
    --tmpfs) tmpfs+=("$2"); shift 2 ;;
    --) shift; break ;;
    *) break ;;
    esac
done
(($#)) || { echo "usage: run.sh [--timeout S] [--tmpfs PATH]... [--] COMMAND..." >&2; exit 2; }
command -v qemu-system-x86_64 >/dev/null ||
    { echo "vm: qemu-system-x86_64 is missing; install qemu-system-x86 (tools/setup-machine.sh wine)" >&2; exit 2; }

image=$(TVR_VM_CACHE=$cache "$here/image.sh")
ctl=$(mktemp -d "${TMPDIR:-/tmp}/tvr-vm.XXXXXX")
trap 'rm -rf "$ctl"' EXIT
echo "$clone" >"$ctl/clone"
echo "$cache" >"$ctl/cache"
((${#tmpfs[@]})) && printf '%s\n' "${tmpfs[@]}" >"$ctl/tmpfs"
{
    echo '#!/bin/bash'
    # The caller's environment, but for what names this side's display and terminal.
    export -p | grep -Ev '^declare -x (DISPLAY|XAUTHORITY|TERM|TMPDIR|SHLVL|OLDPWD|PWD|_)='
    printf 'cd %q || exit 2\n' "$PWD"
    printf '%q ' "$@"
    echo
    echo 'echo $? >/run/tvr-vm/status'
} >"$ctl/guest.sh"

# As root the shares keep owners and modes as they are; otherwise files are the caller's.
model=passthrough
[[ $(id -u) -eq 0 ]] || model=none
share() { echo "local,path=$1,mount_tag=$2,security_model=$model,multidevs=remap${3:+,$3}"; }
status=0
# No -accel options: this QEMU already runs one translating thread per vCPU (both show
# busy in a two-lane session, up to 170 % of the host together) and a 1 GiB translation
# cache, so thread=multi and tb-size=1024 change nothing. 4 GiB leave 2.4 GiB free with
# both lanes' prefixes on their tmpfs.
# -cpu max,smap=off: with SMAP this QEMU's software emulation faults the guest kernel on
# the iret back to 32-bit user code, so every 32-bit Wine process crashed the guest.
timeout -k 10 "$timeout" qemu-system-x86_64 -nodefaults -no-user-config -display none \
    -machine q35 -cpu max,smap=off -smp "${TVR_VM_CPUS:-2}" -m "${TVR_VM_MEM:-4096}" \
    -kernel "$image/vmlinuz" -initrd "$image/initrd.gz" \
    -append "console=ttyS0 quiet loglevel=4 panic=-1 rdinit=/init" \
    -serial "file:$ctl/console.log" -no-reboot \
    -virtfs "$(share / hostroot readonly=on)" -virtfs "$(share "$clone" clone)" \
    -virtfs "$(share "$cache" cache)" -virtfs "$(share "$ctl" ctl)" \
    -device virtio-serial-pci -chardev stdio,id=out,signal=off -device virtconsole,chardev=out \
    </dev/null || status=$?
if ((status == 124 || status == 137)); then
    echo "vm: the guest did not finish within $timeout s, so it was stopped" >&2
    exit 124
elif ((status != 0)); then
    echo "vm: qemu-system-x86_64 failed (exit $status)" >&2
    tail -n 20 "$ctl/console.log" >&2 || true
    exit 2
elif [[ ! -s $ctl/status ]]; then
    echo "vm: the guest stopped before the command finished; its console said:" >&2
    tail -n 30 "$ctl/console.log" >&2 || true
    exit 2
fi
exit "$(cat "$ctl/status")"
