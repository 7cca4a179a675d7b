#!/bin/sh
# Builds the Debian package from the build folder, extracts it into a
# temporary root (nothing is installed on this machine) and runs the program
# from there as an ordinary installation: it must answer --help and --version
# without a display, find its help and code tables in share/talvek, and write
# its settings to the per-user configuration folder, never beside itself.
#
#   test-package.sh BUILD_DIR
set -eu
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/talvek-package.XXXXXX")
trap 'rm -rf "$WORK"' EXIT INT TERM
fail() {
    echo "FAIL: $*" >&2
    exit 1
}
expect() { # expect FILE TEXT: FILE holds the line TEXT
    grep -qxF -- "$2" "$1" || { echo "--- $1:" >&2; cat "$1" >&2; fail "no line \"$2\""; }
}

(cd "$BUILD" && cpack -G DEB -B "$WORK/out") > "$WORK/cpack.log" 2>&1 || { cat "$WORK/cpack.log" >&2; fail "cpack"; }
set -- "$WORK"/out/talvek_*.deb
[ -f "$1" ] || fail "no talvek_*.deb in $WORK/out"
DEB=$1

# Dependencies: the Qt 6 run-time packages, no development packages.
dpkg-deb -f "$DEB" Depends > "$WORK/depends"
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6printsupport6 qt6-qpa-plugins; do
    grep -q "\(^\|, \)$p\( \|,\|$\)" "$WORK/depends" || fail "Depends lacks $p: $(cat "$WORK/depends")"
done
if grep -q -- "-dev" "$WORK/depends"; then fail "Depends names a -dev package: $(cat "$WORK/depends")"; fi

ROOT="$WORK/root"
dpkg-deb -x "$DEB" "$ROOT"
for f in usr/bin/talvek usr/share/talvek/Help/TALVEK.html usr/share/talvek/support/FaultErrCodes.txt \
    usr/share/talvek/support/CommErrCodes.txt usr/share/talvek/talvek.svg \
    usr/share/applications/com.talvek.Talvek.desktop usr/share/metainfo/com.talvek.Talvek.metainfo.xml \
    usr/share/mime/packages/talvek.xml usr/share/icons/hicolor/scalable/apps/talvek.svg; do
    [ -e "$ROOT/$f" ] || fail "the package lacks /$f"
done
grep -qx 'Exec=talvek %f' "$ROOT/usr/share/applications/com.talvek.Talvek.desktop" || fail "desktop entry Exec"
grep -q 'pattern="\*.sdt"' "$ROOT/usr/share/mime/packages/talvek.xml" || fail "MIME glob *.sdt"
find "$ROOT" -type f | sort > "$WORK/files.before"

# A user of this installation, with no display.
HOMEDIR="$WORK/home"
mkdir -p "$HOMEDIR"
run() {
    env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM \
        HOME="$HOMEDIR" XDG_CONFIG_HOME="$HOMEDIR/.config" XDG_DATA_HOME="$HOMEDIR/.local/share" \
        XDG_DATA_DIRS="$WORK/no-system-data" "$ROOT/usr/bin/talvek" "$@"
}
VERSION=$(run --version) || fail "--version"
[ "$VERSION" = "TALVEK @PROJECT_VERSION@" ] || fail "--version said \"$VERSION\""
run --help > "$WORK/help" || fail "--help"
grep -q '^Usage: .*talvek \[options\] \[file\]' "$WORK/help" || { cat "$WORK/help" >&2; fail "--help usage"; }
grep -q -- '--system-info' "$WORK/help" || fail "--help lists --system-info"

# Its own files found in share/talvek; nothing written yet.
SHARE="$ROOT/usr/share/talvek"
CONFIG="$HOMEDIR/.config/TALVEK"
QT_QPA_PLATFORM=offscreen run --system-info > "$WORK/info" || fail "--system-info"
expect "$WORK/info" "TALVEK @PROJECT_VERSION@"
expect "$WORK/info" "Program: $ROOT/usr/bin (installed)"
expect "$WORK/info" "Settings folder: $CONFIG"
expect "$WORK/info" "Help: $SHARE/Help/TALVEK.html (found)"
expect "$WORK/info" "Fault codes: $SHARE/support/FaultErrCodes.txt (found)"
expect "$WORK/info" "Communication error codes: $SHARE/support/CommErrCodes.txt (found)"
expect "$WORK/info" "Port settings in force: COM1 at 9600 baud (defaults; $CONFIG/support/RSPort.cfg does not exist yet)"
[ ! -e "$CONFIG" ] || fail "--system-info wrote $CONFIG"

# Saving the comm port settings writes to the per-user place only.
run --comm-port 3 --speed 19200 > "$WORK/saved" || fail "--comm-port"
printf '3, 19200 \r\n' > "$WORK/expected.cfg"
cmp -s "$CONFIG/support/RSPort.cfg" "$WORK/expected.cfg" || fail "RSPort.cfg holds \"$(od -c "$CONFIG/support/RSPort.cfg" 2>&1)\""
QT_QPA_PLATFORM=offscreen run --system-info > "$WORK/info2"
expect "$WORK/info2" "Port settings in force: COM3 at 19200 baud ($CONFIG/support/RSPort.cfg)"
find "$ROOT" -type f | sort > "$WORK/files.after"
cmp -s "$WORK/files.before" "$WORK/files.after" || fail "the program wrote into its installation: $(diff "$WORK/files.before" "$WORK/files.after")"
if run --comm-port 100 2> "$WORK/refused"; then fail "--comm-port 100 was accepted"; fi
echo "package $(basename "$DEB") passed"
