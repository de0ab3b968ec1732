#!/bin/sh
# Writes what a release publishes beside version.txt and the package:
#   PACKAGE.minisig  detached Ed25519 signature (prehashed minisign format)
#   PACKAGE.sha256   SHA-256 checksum line, as sha256sum prints it
# Usage: scripts/sign-release.sh SECRET_KEY PACKAGE
# The program only opens a package whose signature verifies against the
# public key compiled into it (cmake -DVANTO_RELEASE_PUBLIC_KEY_FILE=...).
set -eu
if [ "$#" -ne 2 ]; then
    echo "usage: $0 SECRET_KEY PACKAGE" >&2
    exit 2
fi
key=$1
package=$2
[ -f "$key" ] || { echo "no secret key at $key" >&2; exit 1; }
[ -f "$package" ] || { echo "no package at $package" >&2; exit 1; }
command -v minisign >/dev/null || { echo "minisign is not installed (apt-get install minisign)" >&2; exit 1; }
name=$(basename "$package")
minisign -S -s "$key" -m "$package" -x "$package.minisig" \
    -c "signature of $name" -t "$name $(date -u +%Y-%m-%dT%H:%M:%SZ)"
( cd "$(dirname "$package")" && sha256sum -- "$name" ) > "$package.sha256"
echo "wrote $package.minisig and $package.sha256"
