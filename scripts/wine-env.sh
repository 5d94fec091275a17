# Sourced by the scripts that run Windows programs: a quiet Wine in prefixes inside the build
# tree (never ~/.wine), created once and reused.
#   wine_prefix ARCH   creates (if needed) and exports the prefix for ARCH (win64 or win32)
#   wine_done          waits until no Wine process of the prefixes used is left

export PATH="/usr/lib/wine:$PATH"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while a prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
# Where 32-bit programs run through the user-mode emulator, its guest address space is made 2 GiB
# and 16 MiB: the 2 GiB a 32-bit Windows program has, and room above them for Wine's own blocks.
# The emulator takes MAP_FIXED_NOREPLACE for a mere hint, so Wine's reservation of the address
# space above 2 GiB at each 32-bit process start becomes some 65,000 mmap calls, each of which
# had the emulator search its 4 GiB space page by page: a minute or more per process start.
# With only a few MiB above 2 GiB, each call is answered at once and a process starts in seconds.
if grep -qs '^interpreter .*qemu-i386' /proc/sys/fs/binfmt_misc/*; then
    export QEMU_RESERVED_VA=0x81000000
fi
VESK_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
VESK_WINE_DIR=${VESK_WINE_DIR:-$VESK_ROOT/build/wine}
VESK_WINE_USED=()

wine_prefix() {
    local arch=$1
    export WINEARCH=$arch
    export WINEPREFIX=$VESK_WINE_DIR/$arch
    VESK_WINE_USED+=("$WINEPREFIX")
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$VESK_WINE_DIR"
        echo "wine: creating the $arch prefix in $WINEPREFIX (once; about 15 s, a minute or two where 32-bit code is emulated)" >&2
        # No address-space randomization, as for every Wine process of the tests: see
        # FIXED_LAYOUT in tests/e2e/winerun.py.
        setarch "$(uname -m)" --addr-no-randomize wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
}

wine_done() {
    local prefix
    for prefix in "${VESK_WINE_USED[@]}"; do WINEPREFIX=$prefix wineserver -w 2>/dev/null || true; done
}
