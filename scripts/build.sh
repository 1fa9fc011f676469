#!/bin/sh
# Configures and builds into build/ (or $TAV_BUILD_DIR) with warnings as errors.
set -e
cd "$(dirname "$0")/.."
BUILD_DIR="${TAV_BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAV_WERROR=ON "$@"
cmake --build "$BUILD_DIR" -j"$(nproc)"
