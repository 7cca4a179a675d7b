#!/bin/sh
# Builds the Debian packages from the build folder, checks them with lintian,
# extracts them into a temporary root (nothing is installed on this machine)
# and runs the programs from there as an ordinary installation:
# - talvek answers --help and --version without a display, finds its help and
#   code tables in share/talvek, and writes its settings to the per-user
#   configuration folder, never beside itself;
# - talvek-cli reads the same settings and code tables as talvek, and never
#   writes them;
# - the manual pages, the udev rule and the documents are where Debian wants
#   them, each program in its package.
#
#   test-package.sh BUILD_DIR
set -eu
BUILD=$(cd "$1" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/talvek-package.XXXXXX")
SIM_PID=""
cleanup() {
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2>/dev/null || true
        wait "$SIM_PID" 2>/dev/null || true
    fi
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
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
set -- "$WORK"/out/talvek-sim_*.deb
[ -f "$1" ] || fail "no talvek-sim_*.deb in $WORK/out"
SIM_DEB=$1
[ "$(dpkg-deb -f "$DEB" Version)" = "@PROJECT_VERSION@-1" ] || fail "talvek version $(dpkg-deb -f "$DEB" Version)"
[ "$(dpkg-deb -f "$SIM_DEB" Package)" = "talvek-sim" ] || fail "the simulator's package is $(dpkg-deb -f "$SIM_DEB" Package)"

# Debian's own checks: no errors. Warnings and notes are shown, not failed.
# (Not for the packages of a sanitizer build, which never ship.)
if [ "@TALVEK_LINT_PACKAGES@" = "ON" ]; then
    command -v lintian > /dev/null || fail "lintian is not installed (scripts/install-deps installs it)"
    if ! lintian --fail-on error --tag-display-limit 0 "$DEB" "$SIM_DEB" > "$WORK/lintian" 2>&1; then
        cat "$WORK/lintian" >&2
        fail "lintian found errors"
    fi
    if grep -q '^E: ' "$WORK/lintian"; then cat "$WORK/lintian" >&2; fail "lintian reported errors"; fi
    sed 's/^/lintian: /' "$WORK/lintian"
else
    echo "lintian: not run on the packages of a sanitizer build"
fi

# Dependencies: the Qt 6 run-time packages, no development packages; the
# simulator needs no GUI.
dpkg-deb -f "$DEB" Depends > "$WORK/depends"
for p in libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6 libqt6printsupport6 qt6-qpa-plugins; do
    grep -q "\(^\|, \)$p\( \|,\|$\)" "$WORK/depends" || fail "Depends lacks $p: $(cat "$WORK/depends")"
done
if grep -q -- "-dev" "$WORK/depends"; then fail "Depends names a -dev package: $(cat "$WORK/depends")"; fi
dpkg-deb -f "$SIM_DEB" Depends > "$WORK/sim-depends"
grep -q "\(^\|, \)libqt6core6\( \|,\|$\)" "$WORK/sim-depends" || fail "talvek-sim Depends: $(cat "$WORK/sim-depends")"
if grep -q -- "-dev\|libqt6gui6\|libqt6widgets6" "$WORK/sim-depends"; then
    fail "talvek-sim depends on more than it needs: $(cat "$WORK/sim-depends")"
fi

ROOT="$WORK/root"
SIM_ROOT="$WORK/sim-root"
dpkg-deb -x "$DEB" "$ROOT"
dpkg-deb -x "$SIM_DEB" "$SIM_ROOT"
for f in usr/share/talvek/Help/TALVEK.html usr/share/talvek/support/FaultErrCodes.txt \
    usr/share/talvek/support/CommErrCodes.txt usr/share/talvek/talvek.svg \
    usr/share/applications/com.talvek.Talvek.desktop usr/share/metainfo/com.talvek.Talvek.metainfo.xml \
    usr/share/mime/packages/talvek.xml usr/share/icons/hicolor/scalable/apps/talvek.svg \
    usr/share/doc/talvek/README.md usr/share/doc/talvek/copyright usr/share/doc/talvek/changelog.Debian.gz \
    usr/share/doc/talvek/docs/screenshots/main-display.png; do
    [ -f "$ROOT/$f" ] || fail "the package lacks /$f"
done
for f in usr/bin/talvek usr/bin/talvek-cli; do
    [ -f "$ROOT/$f" ] && [ -x "$ROOT/$f" ] || fail "talvek lacks the executable /$f"
done
[ -f "$SIM_ROOT/usr/bin/k7700-sim" ] && [ -x "$SIM_ROOT/usr/bin/k7700-sim" ] || fail "talvek-sim lacks /usr/bin/k7700-sim"
[ ! -e "$ROOT/usr/bin/k7700-sim" ] || fail "k7700-sim is in the talvek package"
[ ! -e "$SIM_ROOT/usr/bin/talvek" ] && [ ! -e "$SIM_ROOT/usr/bin/talvek-cli" ] || fail "talvek-sim holds TALVEK"
for f in usr/share/doc/talvek-sim/copyright usr/share/doc/talvek-sim/changelog.Debian.gz; do
    [ -f "$SIM_ROOT/$f" ] || fail "the simulator's package lacks /$f"
done
head -n 1 "$ROOT/usr/share/doc/talvek/copyright" | grep -qx \
    'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' || fail "copyright not machine-readable"
gzip -dc "$ROOT/usr/share/doc/talvek/changelog.Debian.gz" | head -n 1 | grep -q '^talvek (@PROJECT_VERSION@-1) ' \
    || fail "changelog.Debian does not start with this version"

# The udev rule where udev reads it (removed with the package), nowhere else.
cmp -s "$ROOT/usr/lib/udev/rules.d/99-talvek-serial.rules" "@CMAKE_SOURCE_DIR@/dist/udev/99-talvek-serial.rules" \
    || fail "the package lacks /usr/lib/udev/rules.d/99-talvek-serial.rules"
[ "$(find "$ROOT" "$SIM_ROOT" -name '*.rules' | wc -l)" -eq 1 ] || fail "udev rules elsewhere: $(find "$ROOT" -name '*.rules')"

# Manual pages: each in its package, formatted without a warning, named in
# its NAME line.
manpage() { # manpage ROOT PAGE TEXT: PAGE.1.gz under ROOT formats cleanly, its NAME line is TEXT
    page="$1/usr/share/man/man1/$2.1.gz"
    [ -f "$page" ] || fail "no manual page /usr/share/man/man1/$2.1.gz"
    gzip -dc "$page" | groff -man -Tutf8 -ww -z 2> "$WORK/groff" || fail "groff failed on $2.1"
    [ ! -s "$WORK/groff" ] || { cat "$WORK/groff" >&2; fail "groff warns about $2.1"; }
    [ "$(lexgrog "$page" | sed 's/^[^:]*: *//')" = "\"$3\"" ] || fail "$2.1 NAME: $(lexgrog "$page")"
}
manpage "$ROOT" talvek "talvek - set up and watch the K7700 controller of a can-making press line"
manpage "$ROOT" talvek-cli "talvek-cli - read, write and back up the K7700 press line controller from the command line"
manpage "$SIM_ROOT" k7700-sim "k7700-sim - K7700 press line controller simulator on a pseudo-terminal"
find "$ROOT" -type f | sort > "$WORK/files.before"

# A user of this installation, with no display.
HOMEDIR="$WORK/home"
mkdir -p "$HOMEDIR"
as_user() { # as_user PROGRAM ARGS...: runs in place of the shell that calls it
    exec env -u DISPLAY -u WAYLAND_DISPLAY -u XDG_RUNTIME_DIR -u QT_QPA_PLATFORM \
        HOME="$HOMEDIR" XDG_CONFIG_HOME="$HOMEDIR/.config" XDG_DATA_HOME="$HOMEDIR/.local/share" \
        XDG_DATA_DIRS="$WORK/no-system-data" "$@"
}
run() { (as_user "$ROOT/usr/bin/talvek" "$@"); }
cli() { (as_user "$ROOT/usr/bin/talvek-cli" "$@"); }
VERSION=$(run --version) || fail "--version"
[ "$VERSION" = "TALVEK @PROJECT_VERSION@" ] || fail "--version said \"$VERSION\""
run --help > "$WORK/help" || fail "--help"
grep -q '^Usage: .*talvek \[options\] \[file\]' "$WORK/help" || { cat "$WORK/help" >&2; fail "--help usage"; }
grep -q -- '--system-info' "$WORK/help" || fail "--help lists --system-info"
# Qt's own options are Qt's, as in every Qt program.
[ "$(run -style Fusion --version)" = "TALVEK @PROJECT_VERSION@" ] || fail "-style Fusion was refused"
# Without --brake-drift nothing wears, as its help says.
"$SIM_ROOT/usr/bin/k7700-sim" --help | tr -s ' \n' ' ' | grep -q 'Without this option the brake does not wear' \
    || fail "k7700-sim --help on --brake-drift"
cli --help > "$WORK/cli-help" || fail "talvek-cli --help"
grep -q '^Usage: talvek-cli ' "$WORK/cli-help" || { cat "$WORK/cli-help" >&2; fail "talvek-cli --help usage"; }

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

# talvek-cli only reads the settings: with none yet it uses the defaults and
# creates nothing (port 97 has no device, so the port fails at once).
if cli --port 97 status > "$WORK/status0" 2>&1; then fail "talvek-cli status on port 97 succeeded"; fi
grep -q 'COM97 has no serial device' "$WORK/status0" || { cat "$WORK/status0" >&2; fail "talvek-cli status on port 97"; }
[ ! -e "$CONFIG" ] && [ ! -e "$HOMEDIR/.config/talvek-cli" ] || fail "talvek-cli status wrote $(find "$HOMEDIR/.config")"

# Saving the comm port settings writes to the per-user place only.
run --comm-port 3 --speed 19200 > "$WORK/saved" || fail "--comm-port"
printf '3, 19200 \r\n' > "$WORK/expected.cfg"
cmp -s "$CONFIG/support/RSPort.cfg" "$WORK/expected.cfg" || fail "RSPort.cfg holds \"$(od -c "$CONFIG/support/RSPort.cfg" 2>&1)\""
QT_QPA_PLATFORM=offscreen run --system-info > "$WORK/info2"
expect "$WORK/info2" "Port settings in force: COM3 at 19200 baud ($CONFIG/support/RSPort.cfg)"
find "$ROOT" -type f | sort > "$WORK/files.after"
cmp -s "$WORK/files.before" "$WORK/files.after" || fail "the program wrote into its installation: $(diff "$WORK/files.before" "$WORK/files.after")"
if run --comm-port 100 2> "$WORK/refused"; then fail "--comm-port 100 was accepted"; fi

# The installed simulator as port 3 of this user, as the README says to
# start it; talvek-cli then works on TALVEK's port, speed and code tables.
# The background job is the simulator itself (as_user execs it), so that
# the clean-up stops it.
mkfifo "$WORK/sim.out"
(as_user "$SIM_ROOT/usr/bin/k7700-sim" --program-folder "$CONFIG" --port 3 --demo \
    < /dev/null > "$WORK/sim.out" 2> "$WORK/sim.err") &
SIM_PID=$!
exec 3< "$WORK/sim.out"
read -r PTY <&3 || { cat "$WORK/sim.err" >&2; fail "k7700-sim printed no device"; }
[ "$(readlink "$CONFIG/support/ports/COM3")" = "$PTY" ] || fail "k7700-sim did not link $CONFIG/support/ports/COM3 to $PTY"
QT_QPA_PLATFORM=offscreen run --system-info > "$WORK/info3"
expect "$WORK/info3" "Port 3 means: $PTY (present, usable by $(id -un))"
cli status > "$WORK/status" 2> "$WORK/status.err" || { cat "$WORK/status.err" >&2; fail "talvek-cli status"; }
expect "$WORK/status" "mode: ONLINE"
expect "$WORK/status" "port: COM3 $PTY 19200,n,8,1"
expect "$WORK/status" "fault code: 0"
expect "$WORK/status" "fault: Fault Code (00H): $(head -n 1 "$SHARE/support/FaultErrCodes.txt" | sed 's/^00,//' | tr -d '\r')"
cmp -s "$CONFIG/support/RSPort.cfg" "$WORK/expected.cfg" || fail "talvek-cli changed RSPort.cfg"

# The nightly backup of the README and talvek-cli(1), as an ordinary user
# into a folder of its own.
mkdir -p "$HOMEDIR/talvek-backups"
BACKUP="$HOMEDIR/talvek-backups/press1-$(date +%Y%m%d).sdt"
cli upload all -o "$BACKUP" > "$WORK/backup" 2> "$WORK/backup.err" || { cat "$WORK/backup.err" >&2; fail "the README's nightly backup"; }
[ -s "$BACKUP" ] || fail "the nightly backup wrote no $BACKUP"
# A failure says its message once (cron mails every line), and a device
# named with --device is named without a port number.
if cli --device "$WORK/no-such-tty" status > /dev/null 2> "$WORK/none.err"; then fail "talvek-cli on no device succeeded"; fi
[ "$(grep -c 'does not exist' "$WORK/none.err")" -eq 1 ] || { cat "$WORK/none.err" >&2; fail "a failure printed its message twice"; }
if grep -q 'COM1' "$WORK/none.err"; then cat "$WORK/none.err" >&2; fail "--device named COM1"; fi
echo "packages $(basename "$DEB") and $(basename "$SIM_DEB") passed"
