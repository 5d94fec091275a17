#!/usr/bin/env bash
# make dist: the release, in dist/:
#   VeskInfo.exe          stripped and Authenticode-signed
#   VeskInfo.exe.debug    its debug information (named in the executable's .gnu_debuglink)
#   veskinfo-inspect_<version>_<arch>.deb
#   SHA256SUMS            over every other file of dist/
#   TEST-SIGNED           only when no signing key was given (see below)
# No network, no Wine, nothing left running. Dates come from SOURCE_DATE_EPOCH, by default the
# last commit's.
#
# The signing key comes from the environment, either
#   VESK_SIGN_PKCS12=file.p12  VESK_SIGN_PASSWORD_FILE=file holding its password
# or a hardware token,
#   VESK_SIGN_PKCS11_MODULE=module.so  VESK_SIGN_PKCS11_KEY=pkcs11:...key URI
#   VESK_SIGN_PKCS11_CERT=pkcs11:...certificate URI (or VESK_SIGN_CERTS=certificate chain file)
#   VESK_SIGN_PASSWORD_FILE=file holding the token's PIN (optional)
# and optionally VESK_SIGN_TIMESTAMP_URL (an RFC 3161 time-stamping service, needs the network)
# and VESK_SIGN_CAFILE (the roots the signature is verified against afterwards). Without a key,
# a throwaway self-signed certificate made under build/signing/ signs a test-signed release.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/source-date.sh
source_date_epoch .
signing=build/signing
dist=dist

fail() {
    echo "dist: $*" >&2
    exit 1
}

# A self-signed code-signing certificate and its PKCS#12 file, made once and renewed when it is
# about to expire. Trusted by nobody but the release test.
make_test_certificate() {
    if [ -f "$signing/test.p12" ] && openssl x509 -in "$signing/test-cert.pem" -noout -checkend 86400 >/dev/null; then
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

# Fills key_args with osslsigncode's key options and sets test_signed.
choose_key() {
    test_signed=0
    if [ -n "${VESK_SIGN_PKCS12:-}" ]; then
        [ -r "$VESK_SIGN_PKCS12" ] || fail "cannot read VESK_SIGN_PKCS12 ($VESK_SIGN_PKCS12)"
        [ -r "${VESK_SIGN_PASSWORD_FILE:-}" ] || fail "VESK_SIGN_PKCS12 needs VESK_SIGN_PASSWORD_FILE, a readable file holding its password"
        key_args=(-pkcs12 "$VESK_SIGN_PKCS12" -readpass "$VESK_SIGN_PASSWORD_FILE")
    elif [ -n "${VESK_SIGN_PKCS11_MODULE:-}" ]; then
        [ -n "${VESK_SIGN_PKCS11_KEY:-}" ] || fail "VESK_SIGN_PKCS11_MODULE needs VESK_SIGN_PKCS11_KEY (the key's pkcs11: URI)"
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
        key_args=(-pkcs12 "$signing/test.p12" -readpass "$signing/test-password")
    fi
}

sign() { # UNSIGNED SIGNED
    local args=(sign "${key_args[@]}" -h sha256 -n "VeskInfo system identity recorder")
    [ -z "${VESK_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$VESK_SIGN_TIMESTAMP_URL")
    osslsigncode "${args[@]}" -in "$1" -out "$2" >"$signing/sign.log" 2>&1 ||
        { cat "$signing/sign.log" >&2; fail "signing failed"; }
    local roots=${VESK_SIGN_CAFILE:-/etc/ssl/certs/ca-certificates.crt}
    [ "$test_signed" -eq 0 ] || roots=$signing/test-cert.pem
    osslsigncode verify -ignore-cdp -CAfile "$roots" -in "$2" >"$signing/verify.log" 2>&1 ||
        { cat "$signing/verify.log" >&2; fail "the signature does not verify against $roots (VESK_SIGN_CAFILE)"; }
}

test_signed_notice() {
    local fingerprint
    fingerprint=$(openssl x509 -in "$signing/test-cert.pem" -noout -fingerprint -sha256 | cut -d= -f2)
    cat <<EOF
THIS RELEASE IS TEST-SIGNED. VeskInfo.exe carries an Authenticode signature made with a
throwaway self-signed certificate that make dist created in $signing/, whose SHA-256
fingerprint is
  $fingerprint
Nobody trusts that certificate: do not ship this release. To sign with the vendor's
certificate, set VESK_SIGN_PKCS12 and VESK_SIGN_PASSWORD_FILE, or VESK_SIGN_PKCS11_MODULE,
VESK_SIGN_PKCS11_KEY and VESK_SIGN_PKCS11_CERT (see the README).
EOF
}

echo "dist: VeskInfo.exe (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH)"
exe_dir=$(scripts/release-exe.sh .)
echo "dist: veskinfo-inspect package"
cmake --preset release >/dev/null
rm -f build/release/package/*.deb
cmake --build --preset release -j2 --target veskinfo-inspect-deb >/dev/null
debs=(build/release/package/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one package in build/release/package"

rm -rf "$dist"
mkdir -p "$dist" "$signing"
choose_key
echo "dist: signing VeskInfo.exe"
sign "$exe_dir/VeskInfo.exe" "$dist/VeskInfo.exe"
install -m 644 "$exe_dir/VeskInfo.exe.debug" "${debs[0]}" "$dist/"
[ "$test_signed" -eq 0 ] || test_signed_notice >"$dist/TEST-SIGNED"
(cd "$dist" && find . -maxdepth 1 -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort |
    xargs sha256sum -- >SHA256SUMS)

echo "dist: written to $dist/ (unsigned VeskInfo.exe: $(stat -c %s "$exe_dir/VeskInfo.exe") bytes)"
(cd "$dist" && ls -l --time-style=+ | tail -n +2)
if [ "$test_signed" -eq 1 ]; then
    banner=$(printf '%.0s!' {1..78})
    printf '%s\n%s\n%s\n' "$banner" "$(cat "$dist/TEST-SIGNED")" "$banner"
fi
