#!/usr/bin/env bash
# The audit of one installation read from its hives (the service depot's command) against the
# same audit from .reg exports of the same values and table, side by side in one hyperfine run:
# hives of a realistic size (SOFTWARE about 64 MiB, SYSTEM 16 MiB: hivex checks every block
# when it opens a hive), the smallest hives, the two exports, and the depot's three-way view.
#   depot_bench.sh INSPECTOR MAKE_DEPOT FOLDER [RUNS]
set -euo pipefail
inspect=$1 make_depot=$2 out=$3 runs=${4:-5}
table=samples/desktop.bin
rm -rf "$out"
"$make_depot" "$out/large/Windows" "$table" "Vesk Computer Corporation" A47 VCC-D7400 BENCH 64
"$make_depot" "$out/small/Windows" "$table" "Vesk Computer Corporation" A47 VCC-D7400 BENCH
python3 - "$out" "$table" <<'PY'
import sys
out, table = sys.argv[1], open(sys.argv[2], "rb").read()
key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node\\Vesk Computer Corporation\\SysInfo]"
values = {"System Manufacturer": "Vesk Computer Corporation", "SystemIdHex": "A47",
          "RegulatoryID": "VCC-D7400"}
lines = ["REGEDIT4", "", key] + ['"%s"="%s"' % item for item in values.items()]
open(out + "/stored.reg", "w", newline="\r\n").write("\n".join(lines) + "\n")
value = bytes([0, 3, 0, 0]) + len(table).to_bytes(4, "little") + table
data = ",".join("%02x" % b for b in value)
smbios = ["REGEDIT4", "", "[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\mssmbios\\Data]",
          '"SMBiosData"=hex:' + data]
open(out + "/smbios.reg", "w", newline="\r\n").write("\n".join(smbios) + "\n")
PY
ls -l "$out"/large/Windows/System32/config "$out"/small/Windows/System32/config
config=System32/config/SYSTEM
hyperfine -N --warmup 2 --runs "$runs" \
    -n "hives, 64 + 16 MiB" "$inspect --audit $out/large/Windows $out/large/Windows/$config" \
    -n "hives, 12 KiB each" "$inspect --audit $out/small/Windows $out/small/Windows/$config" \
    -n ".reg exports" "$inspect --audit $out/stored.reg $out/smbios.reg" \
    -n "the depot's view (--explain: both hives, the table now), 64 + 16 MiB" \
    "env VESKINFO_DMI_TABLE=$table $inspect --audit --explain $out/large/Windows"
