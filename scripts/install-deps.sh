#!/bin/sh
# Installs every Debian package the build, the tests and the program need,
# but only when something is missing. Nothing is fetched from anywhere else
# (the FHIR validation test installs its pinned npm packages itself).
set -e
PACKAGES="cmake ninja-build g++ clang pkg-config
qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libpq-dev postgresql qt6-connectivity-dev libsqlite3-dev
libgtest-dev libgmock-dev libbenchmark-dev
libserialport-dev libhidapi-dev libgl-dev libdcmtk-dev libsodium-dev
dcmtk orthanc dicom3tools python3-hl7 curl
fonts-liberation2 fonts-noto-cjk poppler-utils xvfb xauth
dpkg-dev fakeroot lintian desktop-file-utils appstream file"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done
# Node.js and npm from Debian only where the machine has no npm yet: a
# Node.js that brings its own npm conflicts with Debian's npm package.
if ! command -v npm >/dev/null 2>&1; then
    missing="$missing nodejs npm"
fi
if [ -n "$missing" ]; then
    echo "Installing:$missing"
    SUDO=""
    [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing
fi
