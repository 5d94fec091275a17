# Sourced by the scripts that run Windows programs: a quiet Wine in prefixes inside the build
# tree (never ~/.wine), created once and reused.
#   wine_prefix ARCH   creates (if needed) and exports the prefix for ARCH (win64 or win32)
#   wine_done          waits until no Wine process of the prefixes used is left

export PATH="/usr/lib/wine:$PATH"
export WINEDEBUG=-all
# No Mono or Gecko installer prompts while a prefix is made.
export WINEDLLOVERRIDES="mscoree,mshtml="
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
        echo "wine: creating the $arch prefix in $WINEPREFIX (once; about 15 s, several minutes where 32-bit code is emulated)" >&2
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
    fi
}

wine_done() {
    local prefix
    for prefix in "${VESK_WINE_USED[@]}"; do WINEPREFIX=$prefix wineserver -w 2>/dev/null || true; done
}
