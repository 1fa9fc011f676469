#!/bin/sh
# The package test: makes the Debian package from an existing build folder
# (nothing is compiled again), checks its contents and metadata, runs lintian
# (any error fails), installs it into a throw-away root with dpkg, runs tavctl
# from there as a user with a fresh data folder, and removes it again.
#   sh scripts/package-check.sh BUILD_DIR VERSION
set -eu
BUILD_DIR=$(cd "$1" && pwd)
VERSION="$2"
SOURCE_DIR=$(cd "$(dirname "$0")/.." && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
PATH="$PATH:/usr/sbin:/sbin"
export PATH

fail() { echo "package-check: $*" >&2; exit 1; }
for tool in cpack dpkg dpkg-deb dpkg-shlibdeps fakeroot lintian desktop-file-validate appstreamcli; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

echo "== building the package"
cpack --config "$BUILD_DIR/CPackConfig.cmake" -B "$WORK/out" >"$WORK/cpack.log" 2>&1 ||
    { cat "$WORK/cpack.log"; fail "cpack failed"; }
DEB=$(ls "$WORK"/out/*.deb)
[ "$(echo "$DEB" | wc -l)" -eq 1 ] || fail "expected one package, got: $DEB"

echo "== version"
[ "$(dpkg-deb -f "$DEB" Version)" = "$VERSION" ] || fail "package version is not $VERSION"
[ "$(dpkg-deb -f "$DEB" Package)" = "tav-spirometer" ] || fail "package name"
grep -q "^## \[$VERSION\] - [0-9]" "$SOURCE_DIR/CHANGELOG.md" ||
    fail "CHANGELOG.md has no dated entry for $VERSION"

echo "== dependencies (computed by dpkg-shlibdeps, plus Qt's run-time plugins)"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
echo "$DEPENDS"
for lib in libc6 libqt6core6 libqt6widgets6 libqt6bluetooth6 libserialport0 libhidapi-hidraw0 \
           libqt6sql6-sqlite qt6-qpa-plugins; do
    echo "$DEPENDS" | grep -q "\b$lib\b" || fail "Depends lacks $lib"
done

echo "== contents"
dpkg-deb -c "$DEB" | tee "$WORK/contents" | awk '{print $1, $6}'
for path in \
    ./usr/bin/tav ./usr/bin/tavctl \
    ./usr/share/tav-spirometer/Language/English.txt ./usr/share/tav-spirometer/Language/Chinese.txt \
    "./usr/share/tav-spirometer/TAV(EN).pdf" "./usr/share/tav-spirometer/TAV(CH).pdf" \
    ./usr/share/tav-spirometer/System.ini ./usr/share/tav-spirometer/predict_equations.csv \
    ./usr/share/tav-spirometer/schema.sql \
    ./usr/share/applications/org.tavspirometer.Tav.desktop \
    ./usr/share/metainfo/org.tavspirometer.Tav.metainfo.xml \
    ./usr/share/icons/hicolor/scalable/apps/tav-spirometer.svg \
    ./usr/share/man/man1/tavctl.1.gz ./usr/share/man/man1/tav.1.gz \
    ./usr/share/doc/tav-spirometer/copyright ./usr/share/doc/tav-spirometer/changelog.gz \
    ./lib/udev/rules.d/70-tav-spirometer.rules; do
    awk '{print $6}' "$WORK/contents" | grep -qxF "$path" || fail "the package lacks $path"
done
for size in 16 24 32 48 64 128 256; do
    awk '{print $6}' "$WORK/contents" |
        grep -qxF "./usr/share/icons/hicolor/${size}x${size}/apps/tav-spirometer.png" ||
        fail "the package lacks the ${size}x${size} icon"
done
awk '$1 ~ /^-/ && $2 != "root/root" {bad=1} END {exit bad}' "$WORK/contents" ||
    fail "files not owned by root"

echo "== metadata files"
dpkg-deb -x "$DEB" "$WORK/unpacked"
desktop-file-validate "$WORK/unpacked/usr/share/applications/org.tavspirometer.Tav.desktop"
appstreamcli validate --no-net "$WORK/unpacked/usr/share/metainfo/org.tavspirometer.Tav.metainfo.xml"
file "$WORK/unpacked/usr/bin/tav" | grep -q "stripped" && ! file "$WORK/unpacked/usr/bin/tav" | grep -q "not stripped" ||
    fail "tav is not stripped"

echo "== lintian"
# lintian exits non-zero for errors and, depending on its version, for warnings:
# the tags decide, errors fail.
lintian --tag-display-limit 0 --info "$DEB" >"$WORK/lintian.txt" 2>&1 || true
cat "$WORK/lintian.txt"
if grep -q '^E: ' "$WORK/lintian.txt"; then fail "lintian reports errors"; fi

echo "== install into a throw-away root"
ROOT="$WORK/root"
mkdir -p "$ROOT/var/lib/dpkg/info" "$ROOT/var/lib/dpkg/updates"
touch "$ROOT/var/lib/dpkg/status"
# The root holds no dependencies, the host has them: the programs run with the host's libraries.
DPKG="dpkg --root=$ROOT --force-depends --force-script-chrootless --force-not-root --log=/dev/null"
$DPKG -i "$DEB" >"$WORK/dpkg.log" 2>&1 || { cat "$WORK/dpkg.log"; fail "dpkg -i failed"; }
[ -x "$ROOT/usr/bin/tavctl" ] || fail "tavctl was not installed"

USER_HOME="$WORK/home"
mkdir -p "$USER_HOME"
run_tavctl() {
    env -i PATH=/usr/bin:/bin HOME="$USER_HOME" XDG_DATA_HOME="$USER_HOME/data" \
        XDG_DATA_DIRS=/nonexistent "$ROOT/usr/bin/tavctl" "$@"
}
run_tavctl --help | grep -q "settings" || fail "tavctl --help"
[ "$(run_tavctl --version)" = "tavctl $VERSION" ] || fail "tavctl --version is not $VERSION"
[ ! -e "$USER_HOME/data" ] || fail "--help or --version made the user's folder"
run_tavctl settings >"$WORK/settings.json" || fail "tavctl settings"
grep -q '"LANGUAGE": *"English"' "$WORK/settings.json" || fail "settings: $(cat "$WORK/settings.json")"
USER_DIR="$USER_HOME/data/tav-spirometer"
[ -d "$USER_DIR/Case" ] || fail "the user's folder $USER_DIR/Case was not made"
cmp -s "$USER_DIR/System.ini" "$ROOT/usr/share/tav-spirometer/System.ini" ||
    fail "the user's System.ini is not the shipped one"
[ "$(stat -c %a "$USER_DIR")" = "700" ] || fail "the user's folder is open to others"
# Language files and the database: shared texts read from the installed share folder,
# the database made in the user's folder.
sed -i 's/^LANGUAGE=.*/LANGUAGE=Chinese\r/' "$USER_DIR/System.ini"
[ "$(run_tavctl text MESSAGE 2900)" = "$(sed -n 's/^2900=//p' "$ROOT/usr/share/tav-spirometer/Language/Chinese.txt")" ] ||
    fail "the installed Chinese language file was not used"
run_tavctl patient add --name "Test Patient" --gender 0 --birth 1980-01-01 --height 170 --weight 70 \
    >/dev/null || fail "tavctl patient add"
[ -s "$USER_DIR/data.mdb" ] || fail "the database was not made in the user's folder"
run_tavctl patient list | grep -q "Test Patient" || fail "the patient is not listed"

echo "== remove"
$DPKG -r tav-spirometer >"$WORK/dpkg.log" 2>&1 || { cat "$WORK/dpkg.log"; fail "dpkg -r failed"; }
LEFT=$(find "$ROOT" -path "$ROOT/var/lib/dpkg" -prune -o ! -type d -print)
[ -z "$LEFT" ] || fail "left after removal: $LEFT"
[ -s "$USER_DIR/data.mdb" ] || fail "removal touched the user's data"
echo "package-check: all checks passed ($(basename "$DEB"))"
