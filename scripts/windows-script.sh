#!/usr/bin/env bash
# Writes a PowerShell script as it must be signed:
#   scripts/windows-script.sh SOURCE OUT
# ASCII with CRLF line ends throughout, whatever line ends the checkout gave SOURCE. osslsigncode
# hashes a script's bytes as they are, while PowerShell's verifier hashes its text with CRLF line
# ends: only for such a script do the two digests agree, so that Windows accepts the signature.
# A byte above 0x7F (which the two would also read differently) or a CR that ends no line is
# refused, naming the file and the line.
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 SOURCE OUT" >&2; exit 2; }
source=$1 out=$2

refuse() {
    echo "windows-script: $source line ${1%%:*}: $2" >&2
    rm -f "$out"
    exit 1
}

[ -r "$source" ] || { echo "windows-script: cannot read $source" >&2; exit 1; }
if where=$(LC_ALL=C grep -a -n -m1 -P '[\x80-\xff]' "$source"); then
    refuse "$where" "a byte above 0x7F: a signed script must be ASCII"
fi
if where=$(LC_ALL=C grep -a -n -m1 -P '\r(?!$)' "$source"); then
    refuse "$where" "a CR that ends no line"
fi
LC_ALL=C awk '{ sub(/\r$/, ""); printf "%s\r\n", $0 }' "$source" >"$out"
