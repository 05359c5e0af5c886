#!/usr/bin/env bash
# The Debian package as a user gets it: built from this build tree with cpack, unpacked with
# dpkg -x into a scratch root (no root rights needed), its program folder made read-only, and
# run from there on the offscreen platform with HOME and XDG_DATA_HOME in a scratch folder.
# Checks the layout, that the program comes up and keeps its settings in the per-user folder
# (not beside itself), and that a record made with the installed headless recorder reads back
# with the installed record tools.
#
#   tests/package/package_test.sh BUILD_DIR      (ROLLMODE_PACKAGE_KEEP=1 keeps the scratch folder)
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/rmpackage-XXXXXX")
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  chmod -R u+w "$work" 2>/dev/null || true
  if [ -n "${ROLLMODE_PACKAGE_KEEP:-}" ]; then echo "kept $work" >&2; else rm -rf "$work"; fi
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack"; }
deb=$(ls "$work"/out/corvo-rollmode_*.deb)
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Package Version Depends

# No maintainer scripts; the dependencies come from the binaries.
dpkg-deb -e "$deb" "$work/control"
for script in preinst postinst prerm postrm; do
  [ ! -e "$work/control/$script" ] || fail "the package has a $script script"
done
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no computed dependencies"

root=$work/root
dpkg-deb -x "$deb" "$root"
app=$root/usr/lib/corvo-rollmode
for f in Corvo_RollMode PeltaRMDrv.so brask.so tolv.so rollmode-sim rollmode-record Help/help.htm RollMode.ini \
         corvo-rollmode.installed; do
  [ -e "$app/$f" ] || fail "$f is missing from lib/corvo-rollmode"
done
# Nothing of the tests reached the product.
if ls "$app" | grep -Ei 'fake|test|bench|gallery|fuzz'; then fail "test files in the program folder"; fi
for cmd in corvo-rollmode rollmode-sim rollmode-record; do
  link=$root/usr/bin/$cmd
  [ -L "$link" ] || fail "usr/bin/$cmd is not a link"
  case "$(readlink "$link")" in /*) fail "usr/bin/$cmd is an absolute link" ;; esac
  [ -x "$link" ] || fail "usr/bin/$cmd does not lead to a program"
done
[ -f "$root/usr/share/applications/corvo-rollmode.desktop" ] || fail "no desktop entry"
[ -f "$root/usr/share/icons/hicolor/scalable/apps/corvo-rollmode.svg" ] || fail "no icon"
[ -f "$root/usr/share/doc/corvo-rollmode/help.htm" ] || fail "no user's guide"
if command -v help2man >/dev/null; then
  [ -f "$root/usr/share/man/man1/rollmode-record.1.gz" ] || [ -f "$root/usr/share/man/man1/rollmode-record.1" ] \
    || fail "no manual page for rollmode-record"
fi

# A read-only program folder; the installed marker keeps even root (who may write anyway) out.
before=$(cd "$app" && find . -type f -exec md5sum {} + | sort)
chmod -R a-w "$root/usr"

export HOME=$work/home XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run
export QT_QPA_PLATFORM=offscreen ROLLMODE_DEVICE_DIR=$work/devices
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$ROLLMODE_DEVICE_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
user_folder=$XDG_DATA_HOME/corvo-rollmode

"$root/usr/bin/rollmode-sim" --dir "$ROLLMODE_DEVICE_DIR" 2>"$work/sim.log" &
sim_pid=$!
socket="$ROLLMODE_DEVICE_DIR/710177AB-8588-4E5C-89EF-67E2A92E861E/unit00"
for _ in $(seq 1 500); do [ -S "$socket" ] && break; sleep 0.01; done
[ -S "$socket" ] || fail "the installed rollmode-sim did not come up"

# Comes up, shows its window, saves a picture of it and closes (saving its settings).
cd "$work"
timeout 60 "$root/usr/bin/corvo-rollmode" --screenshot "$work/window.png" --screenshot-delay 500 \
  >"$work/program.log" 2>&1 || { cat "$work/program.log" >&2; fail "the installed program did not run"; }
[ -s "$work/window.png" ] || fail "the program showed no window"
[ -f "$user_folder/RollMode.ini" ] || fail "no RollMode.ini in $user_folder"
head -1 "$user_folder/RollMode.ini" | grep -q '^Inproper modification of this file' || fail "RollMode.ini is not a settings file"
grep -q 'File RollMode.ini is missing' "$work/program.log" && fail "the first start reported a missing RollMode.ini"
after=$(cd "$app" && find . -type f -exec md5sum {} + | sort)
[ "$before" = "$after" ] || fail "the program changed its installed folder"
kill "$sim_pid"; wait "$sim_pid" 2>/dev/null || true; sim_pid=""

# A record made with the installed headless recorder, read back with the installed tools.
record=$work/records/made.rmd
mkdir -p "$work/records"
timeout 60 "$root/usr/bin/rollmode-record" --demo --seconds 1 --smp 6 --file "$record" >"$work/record.log" 2>&1 \
  || { cat "$work/record.log" >&2; fail "the installed rollmode-record failed"; }
[ -s "$record" ] || fail "rollmode-record wrote nothing"
"$root/usr/bin/rmtool" check "$record" >"$work/check.log" 2>&1 \
  || { cat "$work/check.log" >&2; fail "rmtool finds the record damaged"; }
"$root/usr/bin/rmtool" info "$record" >"$work/read.log" 2>&1 || { cat "$work/read.log" >&2; fail "rmtool cannot read the record"; }
grep -Eiq 'samples' "$work/read.log" || { cat "$work/read.log" >&2; fail "the record reads back without samples"; }
echo "ok: $(basename "$deb") installs, runs from a read-only folder and keeps its files in $user_folder"
