#!/usr/bin/env bash
# make dist: the release, in dist/ (or $VESK_DIST_DIR):
#   VeskInfo.exe          stripped and Authenticode-signed (scripts/sign.sh: the key comes from
#                         the environment; without one the release is test-signed)
#   VeskInfo.exe.debug    its debug information (named in the executable's .gnu_debuglink)
#   VeskInfo-<product version>.msi
#                         the installer package (packaging/msi) holding that signed VeskInfo.exe
#                         and running it once on install, repair and upgrade; signed the same way
#   veskinfo-inspect.exe  the 64-bit Windows inspector, stripped and signed like VeskInfo.exe;
#                         the package installs it on 64-bit x86 Windows
#   veskinfo-inspect-x86.exe
#                         its 32-bit build, the same way; the package installs it on 32-bit
#                         Windows and on Windows on ARM
#   Detect-VeskInfo.ps1, Discover-VeskInfo.ps1, Repair-VeskInfo.ps1
#                         the fleet scripts (packaging/fleet), ASCII with CRLF line ends, signed
#   veskinfo-inspect_<version>_<arch>.deb
#   SHA256SUMS            over every other file of dist/
#   TEST-SIGNED           only when no signing key was given
# No network (unless VESK_SIGN_TIMESTAMP_URL asks for time stamps), no Wine, nothing left running.
# Dates, the signing time included, come from SOURCE_DATE_EPOCH, by default the last commit's, so
# that every file is the same from any clone signed with the same key; a failure leaves no dist/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/source-date.sh
source_date_epoch .
dist=${VESK_DIST_DIR:-dist}

fail() {
    echo "dist: $*" >&2
    exit 1
}

echo "dist: VeskInfo.exe (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
exe_dir=$(scripts/release-exe.sh .)
# The inspectors come from the Windows build (Release, like windows-release), which `make test`
# has already built; only VeskInfo.exe is rebuilt from scratch to be reproducible.
echo "dist: veskinfo-inspect.exe, veskinfo-inspect-x86.exe"
cmake --preset windows >/dev/null
cmake --build --preset windows -j2 --target win64 veskinfo-inspect-release >/dev/null
# Their PE time stamps are their link times: copied through objcopy, which writes
# SOURCE_DATE_EPOCH there.
inspect_exe=build/win/win64/release/dist/veskinfo-inspect.exe
inspect_x86_exe=build/win/release/dist/veskinfo-inspect-x86.exe
mkdir -p "$(dirname "$inspect_exe")" "$(dirname "$inspect_x86_exe")"
x86_64-w64-mingw32-objcopy build/win/win64/release/veskinfo-inspect.exe "$inspect_exe"
i686-w64-mingw32-objcopy build/win/release/veskinfo-inspect-x86.exe "$inspect_x86_exe"
echo "dist: veskinfo-inspect package"
cmake --preset release >/dev/null
rm -f build/release/package/*.deb
cmake --build --preset release -j2 --target veskinfo-inspect-deb >/dev/null
debs=(build/release/package/*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
    fail "expected one package in build/release/package"
fi

rm -rf "$dist"
mkdir -p "$dist"
# A failed signing or time stamp leaves no release behind, not even its signed part.
trap '[ $? -eq 0 ] || rm -rf "$dist"' EXIT
echo "dist: signing VeskInfo.exe"
said=$(scripts/sign.sh "$exe_dir/VeskInfo.exe" "$dist/VeskInfo.exe" "$dist/TEST-SIGNED")
version=$(sed -n 's/^#define VESK_PRODUCT_VERSION_TEXT "\(.*\)"$/\1/p' "$exe_dir/../generated/Version.h")
[ -n "$version" ] || fail "no product version in the build's Version.h"
echo "dist: signing veskinfo-inspect.exe"
VESK_SIGN_DESCRIPTION="VeskInfo identity inspector" scripts/sign.sh \
    "$inspect_exe" "$dist/veskinfo-inspect.exe" >/dev/null
echo "dist: signing veskinfo-inspect-x86.exe"
VESK_SIGN_DESCRIPTION="VeskInfo identity inspector" scripts/sign.sh \
    "$inspect_x86_exe" "$dist/veskinfo-inspect-x86.exe" >/dev/null
echo "dist: the installer package VeskInfo-$version.msi, signed"
msi=$(dirname "$exe_dir")/msi/VeskInfo-$version.msi
python3 packaging/msi/build_msi.py "$dist/VeskInfo.exe" "$version" "$msi" "$dist/veskinfo-inspect.exe" \
    "$dist/veskinfo-inspect-x86.exe"
# The same key, and the same notice if any, as the executable's.
scripts/sign.sh "$msi" "$dist/VeskInfo-$version.msi" >/dev/null
# Signed as Windows verifies them: ASCII, CRLF line ends (scripts/windows-script.sh).
scripts_dir=build/fleet-scripts
rm -rf "$scripts_dir"
mkdir -p "$scripts_dir"
for script in Detect-VeskInfo.ps1 Discover-VeskInfo.ps1 Repair-VeskInfo.ps1; do
    scripts/windows-script.sh "packaging/fleet/$script" "$scripts_dir/$script" ||
        fail "packaging/fleet/$script cannot be signed as it is"
    scripts/sign.sh "$scripts_dir/$script" "$dist/$script" >/dev/null
done
install -m 644 "$exe_dir/VeskInfo.exe.debug" "${debs[0]}" "$dist/"
sums=$(cd "$dist" && find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort |
    xargs -d '\n' sha256sum --)
echo "$sums" >"$dist/SHA256SUMS"

echo "dist: written to $dist/ (unsigned VeskInfo.exe: $(stat -c %s "$exe_dir/VeskInfo.exe") bytes)"
(cd "$dist" && stat -c '%10s  %n' -- *)
# The test-signing notice, if any, comes last, where it is seen.
[ -z "$said" ] || echo "$said"
