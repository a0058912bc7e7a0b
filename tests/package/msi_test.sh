#!/usr/bin/env bash
# The Windows installer as a Windows user meets it, under Wine in a prefix of
# its own: a silent install puts the programs, the Start-menu entry, the
# uninstall entry and the PATH entry in place; the installed window starts;
# a package of a higher version replaces the first; uninstalling leaves no
# file of ours behind.
#
#   msi_test.sh WIN_BUILD_DIR VERSION WORK_DIR
#
# Exit 77 = skipped (no cross build, wixl, msitools, Wine or Xvfb).
set -euo pipefail
win_build=$1
version=$2
work=$3
here=$(cd "$(dirname "$0")" && pwd)
build_msi="$here/../../packaging/msi/build-msi.sh"

for tool in wixl msibuild wine wineboot wineserver Xvfb xwininfo; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is missing; scripts/setup.sh installs it (packages wixl, msitools, wine, xvfb, x11-utils)"
    exit 77
  fi
done
if [ ! -f "$win_build/apps/windows/zorvik-updater.exe" ]; then
  echo "SKIPPED: no cross build in $win_build; scripts/setup.sh makes one (WITH_WINDOWS=1)"
  exit 77
fi

IFS=. read -r major minor patch <<<"$version"
newer="$major.$minor.$((patch + 1))"

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; exit 1; }

"$build_msi" "$win_build" "$version" "$work/zorvik-updater-$version.msi" >/dev/null
"$build_msi" "$win_build" "$newer" "$work/zorvik-updater-$newer.msi" >/dev/null

# A display of its own, for the window and for Wine's desktop.
for n in $(seq 90 120); do
  [ -e "/tmp/.X11-unix/X$n" ] && continue
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  break
done
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done
wineboot -i >/dev/null 2>&1

install_dir="$WINEPREFIX/drive_c/Program Files/Zorvik Updater"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
environment_key='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
reg_query() { wine reg query "$@" 2>/dev/null | tr -d '\r'; }
# Wine's installer puts an all-users shortcut where Wine keeps the common
# Start menu; either Programs folder counts as the Start menu.
shortcuts() { find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/*' -name 'Zorvik Firmware Update.lnk'; }
# The DisplayVersion of every uninstall entry named ours, one a line.
versions() {
  reg_query "$uninstall_key" /s | awk '
    /^HKEY_/ { if (ours && shown != "") print shown; ours = 0; shown = ""; next }
    $1 == "DisplayName" { ours = ($0 ~ /REG_SZ +Zorvik Firmware Update$/) }
    $1 == "DisplayVersion" { shown = $3 }
    END { if (ours && shown != "") print shown }'
}
installed_path() { reg_query "$environment_key" /v PATH | sed -n 's/.*PATH *REG_[A-Z_]* *//p'; }

echo "silent install of $version"
wine msiexec /i "$work/zorvik-updater-$version.msi" /qn || fail "msiexec /i ended with status $?"
for exe in zorvik-updater.exe zorvik-updater-cli.exe; do
  [ -f "$install_dir/$exe" ] || fail "$exe is not in Program Files"
done
[ -n "$(shortcuts)" ] || fail "no Start-menu entry for the window"
[ "$(versions)" = "$version" ] || fail "the uninstall entry shows '$(versions)', not $version"
[[ ";$(installed_path);" == *";C:\\Program Files\\Zorvik Updater\\;"* ]] || fail "PATH lacks the program's folder: $(installed_path)"

echo "the command line from a new terminal"
wineserver -k 2>/dev/null || true
wine cmd /c "zorvik-updater-cli --list-images" 2>/dev/null | tr -d '\r' | grep -q "ZorvikB" \
  || fail "zorvik-updater-cli is not found on PATH by a new terminal"

echo "the installed window starts"
wine "C:\\Program Files\\Zorvik Updater\\zorvik-updater.exe" >/dev/null 2>&1 &
window_pid=$!
found=""
for _ in $(seq 150); do
  if xwininfo -root -tree 2>/dev/null | grep -q '"Zorvik Firmware Update"'; then found=1; break; fi
  sleep 0.2
done
kill "$window_pid" 2>/dev/null || true
wineserver -k 2>/dev/null || true
[ -n "$found" ] || fail "no window titled \"Zorvik Firmware Update\" within 30 s"

echo "upgrade to $newer"
wine msiexec /i "$work/zorvik-updater-$newer.msi" /qn || fail "msiexec /i of $newer ended with status $?"
[ "$(versions)" = "$newer" ] || fail "after the upgrade the uninstall entries show '$(versions)', not $newer alone"
[ -f "$install_dir/zorvik-updater.exe" ] || fail "the upgrade removed the window"

echo "uninstall"
wine msiexec /x "$work/zorvik-updater-$newer.msi" /qn || fail "msiexec /x ended with status $?"
left=$(find "$WINEPREFIX/drive_c" -iname '*zorvik*' 2>/dev/null || true)
[ -z "$left" ] || fail "left behind after uninstall: $left"
[ -z "$(versions)" ] || fail "an uninstall entry remains: $(versions)"
[[ "$(installed_path)" != *"Zorvik Updater"* ]] || fail "PATH still names the program's folder: $(installed_path)"
echo "installed silently, started, upgraded from $version to $newer and removed cleanly"
