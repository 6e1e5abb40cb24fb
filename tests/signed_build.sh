#!/usr/bin/env bash
# A release signed as a vendor signs it, with a throwaway certificate: builds
# setup.exe, the uninstaller it carries and the driver in the 32-bit tree
# BUILD/TREE, as shipped, then checks that both programs' signatures verify
# against that certificate, the uninstaller's as payload entry 1000 holds it,
# that a copy of setup.exe changed in one byte after signing does not verify,
# and that the signed setup.exe starts and installs under Wine (the scenario
# setup_install_nt, with its removal by the signed uninstaller). The tree is
# make test's second 32-bit tree, already built unsigned: signing it rebuilds
# only what the signatures change. The certificate lives in BUILD/signed.
# Usage: tests/signed_build.sh BUILD_DIR TREE   (the host tree must be built)
set -eu
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
tree_name=${2:?usage: signed_build.sh BUILD_DIR TREE}
signed="$build/signed"
tree="$build/$tree_name"
mkdir -p "$signed"
start=$(date +%s)

fail() { echo "signed build: $*"; exit 1; }

# A new certificate every run: it never outlives its day, and the build signs
# again whenever the certificate changes.
printf 'throwaway\n' > "$signed/password"
openssl req -x509 -newkey rsa:2048 -sha256 -days 1 -nodes -subj "/CN=Velk Modular test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$signed/key.pem" -out "$signed/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$signed/key.pem" -in "$signed/cert.pem" -out "$signed/cert.p12" \
  -passout "file:$signed/password"

cmake -S "$here/.." -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake \
  -DVM_HOST_BUILD_DIR="$build/host" -DVM_SIGN_PKCS12="$signed/cert.p12" \
  -DVM_SIGN_PASSWORD_FILE="$signed/password" -DVM_SIGN_CA_FILE="$signed/cert.pem" >/dev/null
ninja -C "$tree" setup.exe driver.exe >/dev/null || fail "the build failed"
built=$(date +%s)

verifies() {  # PROGRAM
  osslsigncode verify -CAfile "$signed/cert.pem" -in "$1" >"$signed/verify.log" 2>&1 &&
    grep -q "Message digest algorithm *: SHA256" "$signed/verify.log"
}

rm -rf "$signed/entry1000"
"$build/host/tools/vmpack/vmpack" extract "$tree/payload/1000.entry" "$signed/entry1000" >/dev/null
for program in "$tree/setup.exe" "$signed/entry1000/_vmunins.exe"; do
  verifies "$program" || fail "$program has no SHA-256 signature that verifies: $(cat "$signed/verify.log")"
done

# One byte in the middle of the image, which the signature covers.
cp "$tree/setup.exe" "$signed/altered.exe"
size=$(stat -c %s "$signed/altered.exe")
byte=$(od -An -tu1 -j $((size / 2)) -N1 "$signed/altered.exe" | tr -d ' ')
printf "$(printf '\\%03o' $((byte ^ 1)))" |
  dd of="$signed/altered.exe" bs=1 seek=$((size / 2)) conv=notrunc status=none
cmp -s "$tree/setup.exe" "$signed/altered.exe" && fail "the altered copy is unchanged"
verifies "$signed/altered.exe" && fail "a setup.exe changed after signing still verifies"

VM_E2E_JOBS=1 VM_E2E_BUILD=$tree_name "$here/e2e/run.sh" "$build" setup_install_nt ||
  fail "the signed setup.exe did not install"
echo "signed build: both signatures verify, an altered copy does not, the signed setup.exe installs;" \
  "built in $((built - start)) s, checked in $(($(date +%s) - built)) s;" \
  "setup.exe $(stat -c %s "$tree/setup.exe") bytes, _vmunins.exe $(stat -c %s "$tree/_vmunins.exe") bytes"
