#!/bin/sh
# Installs the FHIR validator of the tests into DIR (once): the pinned
# packages of package-lock.json from the npm registry.
set -e
dest="$1"
here="$(cd "$(dirname "$0")" && pwd)"
mkdir -p "$dest"
cp "$here/validate_bundle.mjs" "$dest/"
if [ -d "$dest/node_modules/@medplum/core" ] && cmp -s "$here/package-lock.json" "$dest/package-lock.json"; then
    exit 0
fi
cp "$here/package.json" "$here/package-lock.json" "$dest/"
cd "$dest"
npm ci --no-audit --no-fund --loglevel=error
