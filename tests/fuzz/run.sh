#!/usr/bin/env bash
# Runs one fuzz target and prints its figures: run.sh TARGET WORKDIR SEEDS [-libFuzzer-flag...] [SEED_FILE...]
#
# By default a short run (20 s) from the seeds alone, in WORKDIR/short, as
# make test does. With QUORVANE_FUZZ_SECONDS set (make fuzz), a run of that
# length in WORKDIR/long, whose corpus is kept so that each long run goes on
# from the last one. Extra seed files that do not exist (a Windows build not
# made yet) are left out with a note. An input that crashes, leaks or hangs is
# saved there as crash-*, leak-* or timeout-*.
set -uo pipefail

target=$1 work=$2 seeds=$3
shift 3
flags=() extra=()
for arg in "$@"; do
  if [[ $arg == -* ]]; then flags+=("$arg"); else extra+=("$arg"); fi
done

if [[ -n ${QUORVANE_FUZZ_SECONDS:-} ]]; then
  seconds=$QUORVANE_FUZZ_SECONDS work=$work/long
else
  seconds=20 work=$work/short
  rm -rf "$work"
fi
corpus=$work/corpus
mkdir -p "$corpus" "$work/extra-seeds"
for file in "${extra[@]}"; do
  if [[ -f $file ]]; then
    cp "$file" "$work/extra-seeds/$(basename "$(dirname "$file")")-$(basename "$file")"
  else
    echo "note: seed $file is not there (not built); fuzzing without it"
  fi
done

# A smaller quarantine of freed memory than the default 256 MB: each input
# frees only kilobytes, so use-after-free is still caught, while cycling through
# 256 MB of fresh pages made page faults most of the help target's time.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16}
name=$(basename "$target")
log=$work/log
# -timeout: one input taking longer than 10 s counts as a hang.
"$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 -artifact_prefix="$work/" "${flags[@]}" \
  "$corpus" "$seeds" "$work/extra-seeds" 2>&1 | tee "$log" | grep -v -E '^#[0-9]+\s+(NEW|REDUCE)|NEW_FUNC|# Uses: [0-9]+$'
status=${PIPESTATUS[0]}

# The figures of the last status line: DONE, or the last one before a crash.
done_line=$(grep -E '^#[0-9]+\s+.*cov: ' "$log" | tail -n 1)
stat() { grep -E "^stat::$1:" "$log" | awk '{print $2}'; }
echo "$name: $(stat number_of_executed_units) runs in ${seconds} s, $(stat average_exec_per_sec) exec/s," \
     "$(grep -o -E 'cov: [0-9]+ ft: [0-9]+' <<<"$done_line")," \
     "corpus $(grep -o -E 'corp: [0-9]+/[0-9]+[a-zA-Z]*' <<<"$done_line" | cut -d' ' -f2) (inputs/size)," \
     "peak RSS $(stat peak_rss_mb) MB"
if ((status != 0)); then
  echo "$name FAILED (exit $status); the input that did it:" $(ls "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* 2>/dev/null)
fi
exit "$status"
