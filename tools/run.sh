#!/usr/bin/env bash
# Runs Quorvane under Wine: in a window on the user's display, or, without a
# display, as a scripted demo on a private X server (one Crypt, the code it
# copied, a screenshot and the exit code).
#
# The shipped program is the 32-bit build/win32/quorvane.exe. Not every Linux
# kernel can run 32-bit code under Wine, so this runs its 64-bit twin from
# build/win64, built from the same sources.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/win64
bench=$root/tests/wine/bench.sh
state=$root/build/run
# The user's display has its own prefix: the private X server's prefix lets
# Wine draw and activate windows itself, which a window manager should do.
desktop_prefix=$root/build/run-desktop/prefix
program=$build/quorvane.exe

windows_path() { local p=${1//\//\\}; echo "Z:$p"; }

# The program looks for its help in Help\quorvane.hlp, relative to where it
# runs: the build folder has the file there.
cd "$build"

if [[ -n ${DISPLAY:-} ]]; then
  export WINEPREFIX=$desktop_prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "Creating a Wine prefix for Quorvane in $WINEPREFIX (once)..."
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
  fi
  echo "Starting Quorvane on display $DISPLAY. F2 makes the code, Esc quits."
  status=0
  wine "$program" || status=$?
  echo "Quorvane ended with exit code $status."
  exit $status
fi

echo "No display: running a Crypt on a private X server."
"$bench" setup "$state" >/dev/null
trap '"$bench" cleanup "$state" >/dev/null 2>&1 || true' EXIT
shot=$root/build/quorvane.bmp
status=0
"$bench" run "$state" 120 "$build/program_driver.exe" --child demo "$(windows_path "$program")" \
  "$(windows_path "$shot")" || status=$?
if [[ -f $shot ]]; then
  convert "$shot" "$root/build/quorvane.png" && rm -f "$shot"
  echo "Saved as build/quorvane.png"
fi
exit $status
