#!/usr/bin/env bash
# Configures and builds one CMake preset, quietly: only the steps that ninja runs, marked with the preset, and any message.
#
#   build.sh PRESET JOBS [--target NAME]
#
# A build folder that CMake made earlier with another generator (the
# presets used to name none, which meant Makefiles) is configured afresh:
# its cache goes, the rest of the folder (such as the Wine prefix) stays.
set -uo pipefail
preset=${1:?usage: build.sh PRESET JOBS}
jobs=${2:?usage: build.sh PRESET JOBS}
shift 2
cd "$(dirname "$0")/.."

# Configuring prints a page even when nothing changed; only warnings and errors are worth showing.
if ! messages=$(cmake --preset "$preset" 2>&1 >/dev/null); then
  if ! grep -q "Does not match the generator used previously" <<<"$messages"; then
    echo "$messages" >&2
    exit 1
  fi
  echo "$preset: the build folder was made with another generator; configuring it afresh"
  messages=$(cmake --preset "$preset" --fresh 2>&1 >/dev/null) || { echo "$messages" >&2; exit 1; }
fi
[[ -z $messages ]] || echo "$messages" >&2

# The host tools' own build, inside the Windows builds, takes as many jobs.
export CMAKE_BUILD_PARALLEL_LEVEL=$jobs NINJA_STATUS="$preset [%f/%t] "
cmake --build --preset "$preset" -j "$jobs" "$@" | grep -v --line-buffered '^ninja: no work to do\.$'
exit "${PIPESTATUS[0]}"
