#!/usr/bin/env bash
# Runs the Wine case groups against the shipped 32-bit quorvane.exe in the emulated 32-bit PC and reports each group.
#
#   run.sh BUILD_DIR SOURCE_DIR [HOST_QUORVANE_CODE QUORVANE_CODE_EXE]
#
# BUILD_DIR is the 32-bit build: its quorvane.exe, Help folder, drivers and
# guest-groups.txt ("DRIVER GROUP SECONDS" lines) go to the guest through a
# shared folder, BUILD_DIR/guest-run, where each group's log comes back.
# With the host's quorvane-code and the build's quorvane-code.exe, the exe
# runs there too, and its output is compared with the host tool's.
# Fails on a failed case, a group that did not report, a guest that did not
# come up, or a time-out (the guest is then stopped).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
usage="run.sh BUILD_DIR SOURCE_DIR [HOST_QUORVANE_CODE QUORVANE_CODE_EXE]"
build=${1:?$usage}
source=${2:?$usage}
host_code=${3:-}
code_exe=${4:-}
compare_code=$source/tests/wine/code/compare_code.py
# The emulated PC is about ten times slower than this machine's own Wine;
# every wait of the bench and the drivers is stretched by this factor.
scale=${QUORVANE_TIME_SCALE:-8}

image=$("$here/image.sh" build "$source")
work=$build/guest-run
rm -rf "$work"
mkdir -p "$work/bin/Help" "$work/results"
for program in quorvane program_driver wine_driver about_host; do
  cp "$build/$program.exe" "$work/bin/"
done
cp "$build/Help/quorvane.hlp" "$work/bin/Help/"
cp "$here/guest-run.sh" "$work/"
grep -v '^\s*$' "$build/guest-groups.txt" >"$work/groups.txt"
echo "$scale" >"$work/scale"
if [[ -n $host_code ]]; then
  cp "${code_exe:?$usage}" "$work/bin/quorvane-code.exe"
  python3 "$compare_code" --host "$host_code" --guest-cases "$work/code"
fi

# Time for the boot, the bench's start and every group's own limit, but
# within ctest's hour: a whole run takes about 20 minutes.
seconds=600
while read -r _ _ limit; do seconds=$((seconds + limit * scale)); done <"$work/groups.txt"
((seconds <= 3300)) || seconds=3300

echo "guest: running $(wc -l <"$work/groups.txt") groups on $build/quorvane.exe in the emulated 32-bit PC"
started=$SECONDS
status=0
"$here/image.sh" boot "$image" run "$seconds" "$work/console.log" "work=$work" "source=$source:ro" || status=$?
echo "guest: the guest ran for $((SECONDS - started)) s"
if ((status != 0)); then
  echo "guest: the guest did not end normally; its console:"
  tail -n 30 "$work/console.log"
fi
if [[ ! -f $work/results/bench ]]; then
  echo "guest: the guest never started the Wine bench; its console:"
  tail -n 30 "$work/console.log"
  exit 1
fi

failed=0
while read -r driver group _; do
  log=$work/results/$group.log
  summary=$(tr -d '\r' <"$log" 2>/dev/null | grep -E '^[0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$' | tail -1 || true)
  exit_code=$(cut -d' ' -f1 "$work/results/$group.status" 2>/dev/null || echo none)
  took=$(cut -d' ' -f2 "$work/results/$group.status" 2>/dev/null || echo "?")
  if [[ -z $summary ]]; then
    echo "guest: $group ($driver): no summary, exit code $exit_code; its log:"
    tr -d '\r' <"$log" 2>/dev/null | tail -n 20 || echo "  (no log)"
    failed=1
    continue
  fi
  echo "guest: $group: $summary ($took s)"
  tr -d '\r' <"$log" | grep -E '^\[ SKIP \]|FAILED' | sed 's/^/    /' || true
  [[ $exit_code == 0 && $summary == *" 0 failed,"* ]] || failed=1
done <"$work/groups.txt"
if [[ -n $host_code ]]; then
  echo "guest: quorvane-code.exe against the host's quorvane-code:"
  python3 "$compare_code" --host "$host_code" --guest-results "$work/code" | sed 's/^/    /' || failed=1
fi
exit $((failed || status))
