#!/usr/bin/env bash
# Installs, only when missing, every Debian package the build and the tests need.
# Idempotent; safe to run on every `make`.
#
# Package registries go out of step for hours or days (one architecture's index of a suite half
# synced, a security suite ahead of the other architecture), so:
#   - an index that fails to download is a warning naming it, and the install goes on with the
#     indexes that did arrive;
#   - transient fetch failures are retried by apt itself;
#   - an install that cannot be resolved is tried once more aimed at the release's own suite
#     (the codename in /etc/os-release), whose versions exist for every architecture;
#   - a final failure names the missing packages, what was tried, and apt's last error lines.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

pkgs=(cmake make g++ clang libclang-rt-14-dev googletest libgtest-dev libbenchmark-dev
      libcli11-dev nlohmann-json3-dev libsimdjson-dev libhivex-dev pkg-config hyperfine
      g++-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix
      mingw-w64-tools
      wine wine64 wine32:i386 qemu-user-static dmidecode python3
      osslsigncode openssl lintian help2man man-db dpkg-dev file gdb
      softhsm2 libengine-pkcs11-openssl wixl msitools faketime chromium)
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
apt_opts=(-o Acquire::Retries=3)
out=$(mktemp)
trap 'rm -f "$out"' EXIT

dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
if ! apt-get "${apt_opts[@]}" update -qq >"$out" 2>&1; then
  failed=$(grep -oE '^(E|W): Failed to fetch [^ ]+' "$out" | sed -E 's/.*Failed to fetch //' || true)
  echo "bootstrap: warning: apt-get update failed; going on with the package lists that arrived." >&2
  if [ -n "$failed" ]; then
    sed 's/^/bootstrap: warning: index not updated: /' <<<"$failed" >&2
  else
    tail -n 5 "$out" | sed 's/^/bootstrap: warning: apt-get: /' >&2
  fi
fi

install() { # [APT-OPTION...]: installs the missing packages, apt's output kept in $out
  apt-get "${apt_opts[@]}" install -y -qq --no-install-recommends "$@" "${need[@]}" >"$out" 2>&1
}
tried="apt-get install"
if ! install; then
  suite=$(. "${VESK_OS_RELEASE:-/etc/os-release}" 2>/dev/null && echo "${VERSION_CODENAME:-}")
  if [ -n "$suite" ]; then
    echo "bootstrap: the install could not be done as asked; trying again from the release's own suite, $suite" >&2
    tried+=", then apt-get install -t $suite"
    install -t "$suite" && suite_ok=1
  fi
  if [ -z "${suite_ok:-}" ]; then
    {
      echo "bootstrap: could not install: ${need[*]}"
      echo "bootstrap: tried: $tried"
      echo "bootstrap: apt's last error lines:"
      errors=$(grep -E '^(E|W):|broken|unmet|Depends:' "$out" || tail -n 15 "$out")
      tail -n 15 <<<"$errors" | sed 's/^/  /'
    } >&2
    exit 1
  fi
fi
"$here/i386-support.sh"
