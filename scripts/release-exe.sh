#!/usr/bin/env bash
# Builds the released VeskInfo.exe of the source tree SRC (default: this one) from scratch, in
# SRC/build/windows-release, and prints the folder that then holds the stripped VeskInfo.exe and
# its VeskInfo.exe.debug. The PE time stamps are SOURCE_DATE_EPOCH: taken from the environment,
# else from SRC's last commit; without either the build stops rather than stamp the build time.
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
source "$(dirname "$0")/source-date.sh"
source_date_epoch "$src"
build=$src/build/windows-release
rm -rf "$build"
(cd "$src" && cmake --preset windows-release >/dev/null &&
    cmake --build --preset windows-release -j2 --target VeskInfo-release >/dev/null)
echo "$build/release"
