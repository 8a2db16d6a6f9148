#!/usr/bin/env bash
# Packs the Windows programs of a build folder into the zip a Windows user downloads:
# firmware-update.exe, firmware-update-cli.exe and README.txt (dist/windows/README.txt, with
# Windows line ends), side by side at the top of the zip, the programs stripped. Writes BUILD_DIR/NAME.zip and
# NAME.zip.sha256, and prints the checksum.
#   package-windows.sh BUILD_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd)
version=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)
name=firmware-update-$version-windows
zip=$build/$name.zip
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cp "$build/win32/firmware-update.exe" "$build/cli/firmware-update-cli.exe" "$stage/"
# Without their symbols: half the size, and nothing a user's system needs.
x86_64-w64-mingw32-strip "$stage"/*.exe
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' "$source_dir/dist/windows/README.txt" \
    >"$stage/README.txt"
rm -f "$zip"
(cd "$stage" && zip -q -X -9 "$zip" firmware-update.exe firmware-update-cli.exe README.txt)
(cd "$build" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "The package: $zip"
echo "SHA-256: $(cut -d' ' -f1 "$zip.sha256")"
