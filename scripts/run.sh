#!/bin/sh
# The run command of the README: installs what is missing, builds, and starts
# the desktop program in demo mode (virtual spirometer) in a program folder of
# its own, demo-home/ (created on first run; delete it to start afresh).
set -e
cd "$(dirname "$0")/.."
scripts/install-deps.sh
TAV_BUILD_DIR=build scripts/build.sh
HOME_DIR="${TAV_HOME:-$PWD/demo-home}"
if [ ! -d "$HOME_DIR" ]; then
    mkdir -p "$HOME_DIR"
    cp -r build/bin/Language "$HOME_DIR/"
    for f in build/bin/*.pdf; do [ -e "$f" ] && cp "$f" "$HOME_DIR/"; done
    printf '[SYSTEM]\r\nSIMULATOR=1\r\n' > "$HOME_DIR/System.ini"
    build/bin/tavctl --home "$HOME_DIR" demo-seed >/dev/null 2>&1 || true
fi
if [ -z "$DISPLAY" ] && [ -z "$WAYLAND_DISPLAY" ] && [ -z "$QT_QPA_PLATFORM" ]; then
    echo "No display found: starting under the offscreen platform (nothing will be shown; Ctrl+C ends it)."
    export QT_QPA_PLATFORM=offscreen
fi
echo "Program folder: $HOME_DIR"
TAV_HOME="$HOME_DIR" exec build/bin/tav
