#!/usr/bin/env bash
# Runs Windows test programs under Wine on a private X server and a private Wine prefix.
#
#   bench.sh setup   STATE          start Xvfb, create or refresh the prefix
#   bench.sh run     STATE SECONDS PROGRAM.exe [ARGS...]
#                                   run one program, killed after SECONDS
#   bench.sh shot    STATE FILE.png screenshot of the whole private screen
#   bench.sh cleanup STATE          stop Wine and Xvfb
#
# STATE is a folder of the build tree: it holds the prefix (STATE/prefix), the
# display number and the Xvfb process id, so that two build trees never share
# a display or a prefix, and a user's own Wine setup and display stay untouched.
set -euo pipefail

command=${1:?usage: bench.sh setup|run|shot|cleanup STATE ...}
state=${2:?usage: bench.sh $command STATE ...}
shift 2

export WINEPREFIX=$state/prefix
# A 64-bit prefix on this machine; a 32-bit one in the emulated 32-bit PC.
case $(uname -m) in
  x86_64) export WINEARCH=win64 ;;
  *) export WINEARCH=win32 ;;
esac
# Waits are multiplied by this on slow machines (the emulated PC runs
# everything many times slower); the drivers read it too.
scale=${QUORVANE_TIME_SCALE:-1}
# -all also keeps the Debian wrapper from warning about the missing 32-bit loader.
export WINEDEBUG=-all
# No Mono or Gecko (creating the prefix would offer to download them), and no
# menu entries or file associations written into the user's home.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
screen=1024x768x24

use_display() {
  [[ -s $state/display ]] || { echo "bench: no X server; run 'bench.sh setup $state' first" >&2; exit 2; }
  export DISPLAY=:$(<"$state/display")
}

stop_xvfb() {
  local pid
  pid=$(cat "$state/xvfb.pid" 2>/dev/null || true)
  # Only the server this bench started: the id must still belong to an Xvfb.
  if [[ -n $pid && $(cat /proc/$pid/comm 2>/dev/null || true) == Xvfb ]]; then
    kill "$pid"
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -f "$state/xvfb.pid" "$state/display"
}

stop_wine() {
  [[ -d $WINEPREFIX ]] && timeout -k 5 20 wineserver -k 2>/dev/null || true
}

# One persistent wineserver, detached, serves every run until cleanup. Wine's
# long-lived helpers (services, devices) start here too, with their output in
# a log file rather than in ctest's pipes, which ctest would wait for.
start_wine() {
  mkdir -p "$WINEPREFIX"
  timeout -k 5 $((30 * scale)) setsid wineserver -p </dev/null >/dev/null 2>&1
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "bench: creating the Wine prefix $WINEPREFIX"
    timeout -k 5 $((300 * scale)) wineboot -i </dev/null >"$state/wineboot.log" 2>&1
  else
    timeout -k 5 $((120 * scale)) wineboot </dev/null >"$state/wineboot.log" 2>&1
  fi
}

case $command in
  setup)
    mkdir -p "$state"
    stop_wine
    stop_xvfb
    # A failed setup leaves nothing running (ctest runs no cleanup for it when asked for the setup alone).
    trap 'status=$?; echo "bench: setup failed (line $LINENO, status $status); see $state/*.log" >&2;
          stop_wine; stop_xvfb; exit $status' ERR
    # Xvfb picks a free display itself and writes its number to fd 3. It runs
    # detached, with no pipe of ctest's left open, so that ctest does not wait for it.
    : >"$state/display"
    setsid Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$state/display" </dev/null \
      >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    for _ in $(seq $((100 * scale))); do [[ $(wc -l <"$state/display") -ge 1 ]] && break; sleep 0.1; done
    [[ -s $state/display ]] || { echo "bench: Xvfb gave no display within $((10 * scale)) s: hang guard" >&2; cat "$state/xvfb.log" >&2; exit 1; }
    sed -i 's/[^0-9]//g' "$state/display"
    use_display
    start_wine
    # There is no window manager: unmanaged windows get their frames and
    # captions drawn by Wine and are activated by Wine itself (managed ones
    # would wait for a window manager to give them the focus, and stay grey).
    # A crashing test program prints its backtrace instead of waiting in a dialog.
    cat >"$state/bench.reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"

[HKEY_CURRENT_USER\Software\Wine\WineDbg]
"ShowCrashDialog"=dword:00000000
REG
    timeout -k 5 $((60 * scale)) wine regedit /S "$state/bench.reg" </dev/null >>"$state/wineboot.log" 2>&1
    echo "bench: display :$(<"$state/display") ($screen), prefix $WINEPREFIX"
    ;;
  run)
    seconds=${1:?bench.sh run STATE SECONDS PROGRAM.exe [ARGS...]}
    shift
    use_display
    status=0
    started=$SECONDS
    timeout -k 5 "$seconds" wine "$@" || status=$?
    # 0 and 1 are a driver's normal ends (all cases passed, or some failed),
    # after it has ended what it started. After a time-out or a crash, the
    # programs it started may still run (and hold ctest's output pipe): a
    # fresh wineserver ends them and gives the next run a clean desktop.
    # 137 is SIGKILL: the guard's own after its grace time, or one from elsewhere (Wine's server) well before it.
    if ((status == 124 || (status == 137 && SECONDS - started >= seconds))); then
      echo "bench: $1 still running after $seconds s: hang guard (bench.sh run's SECONDS); restarting Wine" >&2
    elif ((status == 137)); then
      echo "bench: $1 was killed (SIGKILL) after $((SECONDS - started)) s, not by this guard; restarting Wine" >&2
    elif ((status > 1)); then
      echo "bench: $1 ended with status $status; restarting Wine" >&2
    fi
    if ((status > 1)); then
      stop_wine
      start_wine
    fi
    exit $status
    ;;
  shot)
    use_display
    xwd -root -silent | convert xwd:- "${1:?bench.sh shot STATE FILE.png}"
    ;;
  cleanup)
    stop_wine
    stop_xvfb
    ;;
  *)
    echo "bench: unknown command $command" >&2
    exit 2
    ;;
esac
