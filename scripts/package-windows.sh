#!/usr/bin/env bash
# Packs the Windows programs of a build folder into the zip a Windows user downloads:
# firmware-update.exe, firmware-update-cli.exe and README.txt (dist/windows/README.txt, with
# Windows line ends), side by side at the top of the zip, the programs stripped. Writes
# BUILD_DIR/NAME.zip and NAME.zip.sha256, and prints the checksum.
#   package-windows.sh BUILD_DIR VERSION
# With WINDOWS_SIGN_CERT and WINDOWS_SIGN_KEY (PEM files: the code-signing certificate, with its
# chain, and its private key) both programs are signed with Authenticode (SHA-256) by osslsigncode
# before they go into the zip; WINDOWS_SIGN_TIMESTAMP (an RFC 3161 time-stamping service's URL)
# adds a timestamp, so that the signature stays valid after the certificate expires.
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
name=firmware-update-$version-windows
zip=$build/$name.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cert=${WINDOWS_SIGN_CERT:-}
key=${WINDOWS_SIGN_KEY:-}
timestamp=${WINDOWS_SIGN_TIMESTAMP:-}

if [ -n "$cert" ] || [ -n "$key" ]; then
    for file in "$cert" "$key"; do
        [ -n "$file" ] && [ -r "$file" ] || {
            echo "Signing needs both WINDOWS_SIGN_CERT and WINDOWS_SIGN_KEY as readable PEM files;" \
                "got '$cert' and '$key'." >&2
            exit 1
        }
    done
fi

# Signs PROGRAM in place.
sign() {
    osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Firmware Update" \
        ${timestamp:+-ts "$timestamp"} -in "$1" -out "$1.signed" >/dev/null
    mv "$1.signed" "$1"
}

cp "$build/win32/firmware-update.exe" "$build/cli/firmware-update-cli.exe" "$stage/"
# Without their symbols: half the size, and nothing a user's system needs.
x86_64-w64-mingw32-strip "$stage"/*.exe
if [ -n "$cert" ]; then
    for program in "$stage"/*.exe; do
        sign "$program"
    done
    echo "Signed both programs as $(openssl x509 -in "$cert" -noout -subject -nameopt oneline |
        sed 's/^subject= *//')${timestamp:+, timestamped by $timestamp}"
else
    echo "Unsigned: WINDOWS_SIGN_CERT and WINDOWS_SIGN_KEY sign the programs (README.md, Windows)."
fi
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source_dir/dist/windows/README.txt" \
    >"$stage/README.txt"
rm -f "$zip"
(cd "$stage" && zip -q -X -9 "$zip" firmware-update.exe firmware-update-cli.exe README.txt)
(cd "$build" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "The package: $zip"
echo "SHA-256: $(cut -d' ' -f1 "$zip.sha256")"
