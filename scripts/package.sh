#!/bin/sh
# Builds the Debian package with CPack from the build folder build/ (or
# $TAV_BUILD_DIR), building only what is not built yet. The package lands in
# $TAV_PACKAGE_DIR (default: <build folder>/package).
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
BUILD_DIR="${TAV_BUILD_DIR:-build}"
OUT_DIR="${TAV_PACKAGE_DIR:-$BUILD_DIR/package}"
if [ -f "$BUILD_DIR/CPackConfig.cmake" ]; then
    cmake --build "$BUILD_DIR"
else
    TAV_BUILD_DIR="$BUILD_DIR" scripts/build.sh
fi
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$OUT_DIR"
rm -rf "$OUT_DIR/_CPack_Packages"
ls "$OUT_DIR"/*.deb
