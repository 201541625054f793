#!/usr/bin/env bash
# Signs a release with a throwaway certificate made here and checks both programs' Authenticode
# signatures against it, and the zip's checksums over the signed programs; then builds the
# unsigned release again, so dist/ holds no test signature.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d "${TMPDIR:-/tmp}/tessaline-signing.XXXXXX")
trap 'rm -rf "$work"' EXIT
TESSALINE_SIGN_PASSWORD=$(openssl rand -hex 16)
export TESSALINE_SIGN_PASSWORD
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tessaline throwaway test signer" \
  -addext extendedKeyUsage=codeSigning -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/signer.pfx" \
  -passout env:TESSALINE_SIGN_PASSWORD

zip=$(tools/release.sh --sign "$work/signer.pfx")
zip=${zip##* }
mkdir "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
status=0
for program in TessalineCleaner.exe tessaline-clean.exe; do
  if ! osslsigncode verify -CAfile "$work/cert.pem" -in "$work/unpacked/$program" \
    >"$work/verify.txt" 2>&1; then
    echo "signature of $program does not verify:" >&2
    cat "$work/verify.txt" >&2
    status=1
  fi
done
(cd "$work/unpacked" && sha256sum --quiet -c SHA256SUMS) || status=1

tools/release.sh >/dev/null
[ $status -eq 0 ] && echo "signed: both programs verify against the throwaway certificate"
exit $status
