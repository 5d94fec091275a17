#!/usr/bin/env bash
# Authenticode-signs a Windows executable or installer package with osslsigncode and verifies the
# signature.
#   scripts/sign.sh UNSIGNED SIGNED [NOTICE]
# The key comes from the environment, either a PKCS#12 file
#   VESK_SIGN_PKCS12=file.p12  VESK_SIGN_PASSWORD_FILE=file holding its password
# or a hardware token through its PKCS#11 module
#   VESK_SIGN_PKCS11_MODULE=module.so  VESK_SIGN_PKCS11_KEY=pkcs11: URI of the key
#   VESK_SIGN_PKCS11_CERT=pkcs11: URI of the certificate, or VESK_SIGN_CERTS=certificate file
#   VESK_SIGN_PASSWORD_FILE=file holding the token's PIN (optional)
# and, optionally, VESK_SIGN_TIMESTAMP_URL (RFC 3161 time-stamping services, separated by
# spaces, tried in order until one stamps; needs the network), VESK_SIGN_TSA_CAFILE (the roots
# the time stamp is verified against; default the system's), VESK_SIGN_CAFILE (the roots the
# signature is verified against; default the system's) and VESK_SIGN_DESCRIPTION (the program's
# name in the signature). Without a key, a throwaway self-signed certificate made in
# build/signing/ signs, the output says so plainly, and the notice goes to the file NOTICE too.
# The signing time is SOURCE_DATE_EPOCH (by default the last commit's): the same file signed with
# the same key gives the same bytes, unless a time stamp was asked for.
# VESK_SIGN_ADOPT_FROM=DIR (scripts/verify-release.sh): where DIR holds a file named like SIGNED
# whose signature covers exactly the content of UNSIGNED, that file (and DIR's NOTICE) is taken
# as it is instead of signing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/source-date.sh"
source_date_epoch "$root"
signing=$root/build/signing
[ $# -ge 2 ] || { echo "usage: $0 UNSIGNED SIGNED [NOTICE]" >&2; exit 2; }
unsigned=$1 signed=$2 notice=${3:-}

fail() {
    echo "sign: $*" >&2
    rm -f "$signed"
    exit 1
}

# The self-signed code-signing certificate, made once and renewed a day before it expires.
make_test_certificate() {
    if [ -f "$signing/test.p12" ] &&
        openssl x509 -in "$signing/test-cert.pem" -noout -checkend 86400 >/dev/null; then
        return
    fi
    mkdir -p "$signing"
    (umask 077 && openssl rand -hex 24 >"$signing/test-password")
    openssl req -x509 -newkey rsa:3072 -nodes -days 90 -keyout "$signing/test-key.pem" \
        -out "$signing/test-cert.pem" \
        -subj "/O=Vesk Computer Corporation/CN=VeskInfo TEST SIGNING ONLY - NOT TRUSTED" \
        -addext "basicConstraints=critical,CA:FALSE" \
        -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=codeSigning" 2>/dev/null
    openssl pkcs12 -export -inkey "$signing/test-key.pem" -in "$signing/test-cert.pem" \
        -name "VeskInfo test signing" -out "$signing/test.p12" -passout "file:$signing/test-password"
}

# Sets key_args (osslsigncode's key options), roots (for the verification) and test_signed.
choose_key() {
    test_signed=0
    roots=${VESK_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
    if [ -n "${VESK_SIGN_PKCS12:-}" ]; then
        [ -r "$VESK_SIGN_PKCS12" ] || fail "cannot read VESK_SIGN_PKCS12 ($VESK_SIGN_PKCS12)"
        [ -r "${VESK_SIGN_PASSWORD_FILE:-}" ] ||
            fail "VESK_SIGN_PKCS12 needs VESK_SIGN_PASSWORD_FILE, a readable file holding its password"
        key_args=(-pkcs12 "$VESK_SIGN_PKCS12" -readpass "$VESK_SIGN_PASSWORD_FILE")
    elif [ -n "${VESK_SIGN_PKCS11_MODULE:-}" ]; then
        [ -r "$VESK_SIGN_PKCS11_MODULE" ] ||
            fail "cannot read VESK_SIGN_PKCS11_MODULE ($VESK_SIGN_PKCS11_MODULE)"
        [ -n "${VESK_SIGN_PKCS11_KEY:-}" ] ||
            fail "VESK_SIGN_PKCS11_MODULE needs VESK_SIGN_PKCS11_KEY, the pkcs11: URI of the key"
        key_args=(-pkcs11module "$VESK_SIGN_PKCS11_MODULE" -key "$VESK_SIGN_PKCS11_KEY")
        if [ -n "${VESK_SIGN_PKCS11_CERT:-}" ]; then
            key_args+=(-pkcs11cert "$VESK_SIGN_PKCS11_CERT")
        elif [ -n "${VESK_SIGN_CERTS:-}" ]; then
            key_args+=(-certs "$VESK_SIGN_CERTS")
        else
            fail "VESK_SIGN_PKCS11_MODULE needs VESK_SIGN_PKCS11_CERT (URI) or VESK_SIGN_CERTS (file)"
        fi
        [ -z "${VESK_SIGN_PASSWORD_FILE:-}" ] || key_args+=(-readpass "$VESK_SIGN_PASSWORD_FILE")
    else
        make_test_certificate
        test_signed=1
        roots=$signing/test-cert.pem
        key_args=(-pkcs12 "$signing/test.p12" -readpass "$signing/test-password")
    fi
}

test_signed_notice() {
    local fingerprint
    fingerprint=$(openssl x509 -in "$signing/test-cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)
    cat <<NOTICE
THIS RELEASE IS TEST-SIGNED. Its executables and the installer package carry Authenticode
signatures made with a throwaway self-signed certificate that make dist created in
build/signing/, whose SHA-256 fingerprint is
  $fingerprint
Nobody trusts that certificate: do not ship this release. To sign with the vendor's
certificate, set VESK_SIGN_PKCS12 and VESK_SIGN_PASSWORD_FILE, or VESK_SIGN_PKCS11_MODULE,
VESK_SIGN_PKCS11_KEY and VESK_SIGN_PKCS11_CERT (see the README).
NOTICE
}

# What an Authenticode signature of FILE covers, as a digest; the same for a file signed or not.
signed_content() {
    osslsigncode extract-data -h sha256 -in "$1" -out "$log.der" >/dev/null 2>&1 &&
        sha256sum <"$log.der" && rm -f "$log.der"
}

adopt() {
    local theirs ours
    theirs=$VESK_SIGN_ADOPT_FROM/$(basename "$signed")
    [ -f "$theirs" ] && ours=$(signed_content "$unsigned") &&
        [ "$ours" = "$(signed_content "$theirs")" ] || return 1
    cp "$theirs" "$signed"
    theirs=$VESK_SIGN_ADOPT_FROM/$(basename "${notice:-none}")
    [ -z "$notice" ] || [ ! -f "$theirs" ] || cp "$theirs" "$notice"
}

# Why a time-stamping authority gave no stamp, from osslsigncode's log.
stamp_failure() {
    grep -m1 -oE 'Connection refused|Connection timed out|code=[0-9]+, reason=[^:]*|Failed to convert timestamp reply|Name or service not known|[Tt]imeout' \
        "$log" || echo "no time stamp in its answer"
}

# Adds a time stamp from the first authority that answers with one.
time_stamp() {
    local url tried=""
    for url in "$@"; do
        osslsigncode add -h sha256 -ts "$url" -in "$signed" -out "$signed.stamped" >"$log" 2>&1 &&
            mv "$signed.stamped" "$signed" && return 0
        rm -f "$signed.stamped"
        tried+="${tried:+; }$url ($(stamp_failure))"
    done
    fail "no time-stamping authority stamped $(basename "$signed"); tried $tried (VESK_SIGN_TIMESTAMP_URL)"
}

[ -r "$unsigned" ] || fail "cannot read $unsigned"
rm -f "$signed"
log=$(mktemp)
trap 'rm -f "$log" "$log.der" "$signed.stamped"' EXIT
if [ -n "${VESK_SIGN_ADOPT_FROM:-}" ] && adopt; then
    exit 0
fi
choose_key
args=(sign "${key_args[@]}" -h sha256 -n "${VESK_SIGN_DESCRIPTION:-VeskInfo system identity recorder}"
    -time "$SOURCE_DATE_EPOCH")
osslsigncode "${args[@]}" -in "$unsigned" -out "$signed" >"$log" 2>&1 ||
    { cat "$log" >&2; fail "signing failed"; }
read -r -a stamp_urls <<<"${VESK_SIGN_TIMESTAMP_URL:-}"
[ ${#stamp_urls[@]} -eq 0 ] || time_stamp "${stamp_urls[@]}"

# Verified without the network: certificates' CRL distribution points are not fetched (older
# osslsigncode releases never fetch them and lack the option).
verify=(verify -CAfile "$roots" -in "$signed")
osslsigncode -h 2>&1 | grep -q -- -ignore-cdp && verify+=(-ignore-cdp)
[ ${#stamp_urls[@]} -eq 0 ] ||
    verify+=(-TSA-CAfile "${VESK_SIGN_TSA_CAFILE:-/etc/ssl/certs/ca-certificates.crt}")
osslsigncode "${verify[@]}" >"$log" 2>&1 ||
    { cat "$log" >&2; fail "the signature does not verify against $roots (VESK_SIGN_CAFILE)"; }
# osslsigncode accepts the signature even when its time stamp fails to verify.
[ ${#stamp_urls[@]} -eq 0 ] || grep -q '^Timestamp Server Signature verification: ok' "$log" ||
    { cat "$log" >&2; fail "the time stamp does not verify against ${VESK_SIGN_TSA_CAFILE:-the system roots} (VESK_SIGN_TSA_CAFILE)"; }

if [ "$test_signed" -eq 1 ]; then
    [ -z "$notice" ] || test_signed_notice >"$notice"
    banner=$(printf '%.0s!' {1..78})
    printf '%s\n%s\n%s\n' "$banner" "$(test_signed_notice)" "$banner"
fi
