#!/usr/bin/env bash
# The audit of one installation read from its hives (the service depot's command) against the
# same audit from .reg exports of the same values and table, side by side in one hyperfine run:
# the stored values from a SOFTWARE hive of a realistic size (about 64 MiB: hivex checks every
# block when it opens a hive) and from the smallest, from the export, and the depot's view
# (both hives, SYSTEM of 16 MiB);
# then a SOFTWARE hive of 64 MiB whose last two flushes (3 MiB) are only in its logs, recovered
# in memory, against the same last state written as a clean hive.
#   depot_bench.sh INSPECTOR MAKE_DEPOT FOLDER [RUNS]
set -euo pipefail
inspect=$1 make_depot=$2 out=$3 runs=${4:-5}
table=samples/desktop.bin
rm -rf "$out"
"$make_depot" "$out/large/Windows" "$table" "Vesk Computer Corporation" A47 VCC-D7400 BENCH 64
"$make_depot" "$out/small/Windows" "$table" "Vesk Computer Corporation" A47 VCC-D7400 BENCH
"$make_depot" "$out/dirty/Windows" "$table" "Vesk Computer Corporation" A47 VCC-D7400 BENCH 64 3
"$make_depot" "$out/clean/Windows" "$table" "Vesk Computer Corporation" A47 VCC-D7400 BENCH 64 3 \
    clean
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
ls -l "$out"/{large,small,dirty,clean}/Windows/System32/config
hyperfine -N --warmup 2 --runs "$runs" \
    -n "SOFTWARE hive of 64 MiB" "$inspect --audit $out/large/Windows $table" \
    -n "SOFTWARE hive of 12 KiB" "$inspect --audit $out/small/Windows $table" \
    -n ".reg exports" "$inspect --audit $out/stored.reg $out/smbios.reg" \
    -n "the depot's view (--explain: both hives, the table now), 64 + 16 MiB" \
    "env VESKINFO_DMI_TABLE=$table $inspect --audit --explain $out/large/Windows" \
    -n "SOFTWARE of 64 MiB recovered from 3 MiB of logs" \
    "$inspect --audit $out/dirty/Windows $table" \
    -n "the same SOFTWARE hive, clean" "$inspect --audit $out/clean/Windows $table" \
    -n "the depot's view, SOFTWARE recovered from its logs" \
    "env VESKINFO_DMI_TABLE=$table $inspect --audit --explain $out/dirty/Windows" \
    -n "the depot's view, SOFTWARE clean" \
    "env VESKINFO_DMI_TABLE=$table $inspect --audit --explain $out/clean/Windows"
