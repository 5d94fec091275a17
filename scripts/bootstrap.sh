#!/usr/bin/env bash
# Installs, only when missing, every Debian package the build and the tests need.
# Idempotent; safe to run on every `make`.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
      libcli11-dev nlohmann-json3-dev hyperfine
      g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
      mingw-w64-tools
      wine wine64 wine32:i386 qemu-user-static dmidecode python3
      osslsigncode openssl lintian help2man man-db dpkg-dev file gdb
      softhsm2 libengine-pkcs11-openssl wixl msitools faketime)
for p in "${pkgs[@]}"; do have "$p" || need+=("$p"); done
here=$(dirname "$0")
if [ ${#need[@]} -eq 0 ]; then
  exec "$here/i386-support.sh"
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "bootstrap: missing packages: ${need[*]} (run as root to install them)" >&2
  exit 1
fi
echo "bootstrap: installing ${need[*]}"
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
"$here/i386-support.sh"
