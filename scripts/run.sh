#!/usr/bin/env bash
# Builds VeskInfo.exe and runs it once under Wine on a raw SMBIOS table (the registry copy the
# program reads), then shows its debug texts, its exit code and the values it stored.
set -euo pipefail
cd "$(dirname "$0")/.."
table=${1:-samples/desktop.bin}
[ -r "$table" ] || { echo "run: cannot read the table file '$table'" >&2; exit 2; }
source scripts/wine-env.sh
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target VeskInfo dbgcapture dbgcapture64 regtool64 >/dev/null
wine_prefix win64
status=0
python3 scripts/run.py build/win "$WINEPREFIX" "$table" || status=$?
wine_done
exit $status
