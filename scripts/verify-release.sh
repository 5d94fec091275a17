#!/usr/bin/env bash
# Rebuilds the release from this checkout and says, file by file, whether the release in DIST
# is the same except for its signatures:
#   scripts/verify-release.sh DIST
# Check out the release's commit first: the rebuild's dates are SOURCE_DATE_EPOCH, by default the
# last commit's. The rebuild goes to build/verify-release/ and needs neither the vendor's key nor
# the network. Where a file of DIST is signed over exactly the bytes rebuilt, the rebuild takes
# it with its signature (scripts/sign.sh, VESK_SIGN_ADOPT_FROM), so that what embeds or lists it
# (the installer package, SHA256SUMS) is rebuilt around those bytes and compared byte for byte;
# where it is not, the rebuild is signed afresh and the file differs. The files inside an
# installer package are compared one by one as well. Exit status 0 when everything matches.
set -euo pipefail
[ $# -eq 1 ] && [ -d "$1" ] || { echo "usage: $0 DIST" >&2; exit 2; }
release=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
rebuild=$PWD/build/verify-release
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for variable in $(compgen -v VESK_SIGN_); do unset "$variable"; done
echo "verify-release: rebuilding this checkout into $rebuild"
if ! VESK_DIST_DIR=$rebuild VESK_SIGN_ADOPT_FROM=$release scripts/dist.sh >"$work/log" 2>&1; then
    cat "$work/log" >&2
    echo "verify-release: the rebuild failed" >&2
    exit 2
fi

# The digest of what an Authenticode signature of the file covers; fails for a file that cannot
# carry one. (osslsigncode overwrites no file.)
signed_content() {
    rm -f "$work/data.der"
    osslsigncode extract-data -h sha256 -in "$1" -out "$work/data.der" >/dev/null 2>&1 &&
        sha256sum <"$work/data.der"
}

is_signed() {
    rm -f "$work/signature"
    osslsigncode extract-signature -in "$1" -out "$work/signature" >/dev/null 2>&1
}

differences=0
# compare LABEL RELEASED REBUILT
compare() {
    local verdict=DIFFERS ours
    if [ ! -f "$2" ]; then
        verdict="DIFFERS: only in the rebuild"
    elif [ ! -f "$3" ]; then
        verdict="DIFFERS: not rebuilt"
    elif is_signed "$2"; then
        ours=$(signed_content "$3") && [ "$ours" = "$(signed_content "$2")" ] &&
            verdict="matches except for its signature"
    elif cmp -s "$2" "$3"; then
        verdict="matches byte for byte"
    fi
    [[ $verdict != DIFFERS* ]] || differences=$((differences + 1))
    printf '%-40s %s\n' "$1" "$verdict"
}

# union FOLDER FOLDER: the relative names of the files in either, one a line.
union() { { (cd "$1" && find . -type f -printf '%P\n'); (cd "$2" && find . -type f -printf '%P\n'); } |
    LC_ALL=C sort -u; }

mapfile -t files < <(union "$release" "$rebuild")
for name in "${files[@]}"; do
    compare "$name" "$release/$name" "$rebuild/$name"
    if [[ $name == *.msi ]] && [ -f "$release/$name" ] && [ -f "$rebuild/$name" ]; then
        rm -rf "$work/released" "$work/rebuilt"
        # A package that cannot be read shows as files missing from it.
        msiextract -C "$work/released" "$release/$name" >/dev/null 2>&1 || true
        msiextract -C "$work/rebuilt" "$rebuild/$name" >/dev/null 2>&1 || true
        mapfile -t inside < <(union "$work/released" "$work/rebuilt")
        for inner in "${inside[@]}"; do
            compare "  inside it: ${inner##*/}" "$work/released/$inner" "$work/rebuilt/$inner"
        done
    fi
done
if [ "$differences" -ne 0 ]; then
    echo "verify-release: $differences of the files above differ from the rebuild of this checkout"
    exit 1
fi
echo "verify-release: $release is this checkout's release, except for its signatures"
