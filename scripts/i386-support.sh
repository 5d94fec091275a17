#!/usr/bin/env bash
# Makes sure this machine can start 32-bit x86 Linux programs, which Wine needs to run a 32-bit
# Windows program. Some kernels here refuse them ("Exec format error") although their format
# handler exists; there, 32-bit programs are handed to the user-mode emulator through
# binfmt_misc. Idempotent; needs root only when it has something to register.
set -euo pipefail

loader=/usr/lib/wine/wine
[ -x "$loader" ] || { echo "i386-support: $loader is missing (run the bootstrap)" >&2; exit 1; }
"$loader" --version >/dev/null 2>&1 && exit 0

emulator=/usr/bin/qemu-i386-static
[ -x "$emulator" ] || { echo "i386-support: $emulator is missing (run the bootstrap)" >&2; exit 1; }
misc=/proc/sys/fs/binfmt_misc
[ -e "$misc/register" ] || mount -t binfmt_misc binfmt_misc "$misc"
if [ ! -e "$misc/vesk-i386" ]; then
    # ELF, 32-bit, little-endian, executable or shared object, machine i386.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    printf ':vesk-i386:M::%s:%s:%s:F' "$magic" "$mask" "$emulator" >"$misc/register"
fi
if ! "$loader" --version >/dev/null 2>&1; then
    echo "i386-support: this machine still cannot start 32-bit programs" >&2
    exit 1
fi
echo "i386-support: 32-bit programs run through $emulator on this machine (slow start-up)" >&2
