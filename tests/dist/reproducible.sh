#!/usr/bin/env bash
# Builds a release archive twice, from two copies of the sources in different folders, and compares them byte for byte.
#
#   reproducible.sh PRESET SOURCE REFERENCE-ARCHIVE
#
# Each copy holds the files that git tracks or would track: the working tree
# as it stands, without ignored files (outside git: all but build/ and
# node_modules/). Both copies are configured with PRESET (win32 for the
# zip, host for the Linux tar.gz) into fresh build folders of their own and
# built at once, one job each, as far as the archive. The two archives must
# be equal, and equal to REFERENCE-ARCHIVE, the release of the developer's
# own build folder. Everything is removed after a
# pass and kept after a failure, for a look at what differs.
set -euo pipefail
usage="usage: reproducible.sh PRESET SOURCE REFERENCE-ARCHIVE"
preset=${1:?$usage}
source=$(cd "${2:?$usage}" && pwd)
reference=${3:?$usage}
archive_name=$(basename "$reference")
started=$SECONDS

# The entries carry the last commit's time; the copies have no git history.
# (Without any, all three archives carry the earliest time they can hold.)
if [[ -z ${SOURCE_DATE_EPOCH:-} ]] && epoch=$(git -C "$source" log -1 --format=%ct 2>/dev/null); then
  export SOURCE_DATE_EPOCH=$epoch
fi
# One job for each build, also inside the host tools' own build.
export CMAKE_BUILD_PARALLEL_LEVEL=1

work=$(mktemp -d "${TMPDIR:-/tmp}/quorvane-reproducible.XXXXXX")
# Different names and depths, so that a path that leaks into a file shows as a difference.
copies=("$work/a/quorvane" "$work/second/copy/of-the-sources")
builds=("$work/build-a" "$work/other/build-folder")

build() {
  local copy=$1 build=$2
  mkdir -p "$copy"
  (cd "$source" && if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
     git ls-files -z --cached --others --exclude-standard |
       tar --null --files-from=- --ignore-failed-read -cf - 2>/dev/null
   else
     tar --exclude=./build --exclude=node_modules -cf - .
   fi) | tar -xf - -C "$copy"
  (cd "$copy" && cmake --preset "$preset" -B "$build" -DQUORVANE_DIST_DIR="$build/dist" && cmake --build "$build" --target dist)
}

pids=()
for i in 0 1; do
  build "${copies[$i]}" "${builds[$i]}" >"$work/build-$i.log" 2>&1 &
  pids+=($!)
done
failed=0
for i in 0 1; do
  if ! wait "${pids[$i]}"; then
    echo "build $((i + 1)) in ${builds[$i]} failed; its log, last lines:"
    tail -20 "$work/build-$i.log"
    failed=1
  fi
done
((failed == 0)) || { echo "kept for a look: $work"; exit 1; }

archives=("${builds[0]}/dist/$archive_name" "${builds[1]}/dist/$archive_name" "$reference")
labels=("copy 1" "copy 2" "build/")
for i in 0 1 2; do
  printf '%-7s %8d bytes  SHA-256 %s  %s\n' "${labels[$i]}" "$(stat -c %s "${archives[$i]}")" \
    "$(sha256sum "${archives[$i]}" | cut -d' ' -f1)" "${archives[$i]}"
done
echo "two builds from scratch took $((SECONDS - started)) s"
status=0
for i in 1 2; do
  if ! cmp -s "${archives[0]}" "${archives[$i]}"; then
    echo "FAIL: the archive of ${labels[$i]} differs from that of ${labels[0]}; the entries that differ:"
    PYTHONPATH="$(dirname "$0")" python3 - "${archives[0]}" "${archives[$i]}" <<'PY'
import sys
from check_dist import read_entries
a, b = ({name: rest for name, *rest in read_entries(path)} for path in sys.argv[1:3])
for name in sorted(a.keys() | b.keys()):
    if a.get(name) != b.get(name):
        print("  ", name)
PY
    status=1
  fi
done
if ((status == 0)); then
  echo "the same bytes in all three"
  rm -rf "$work"
else
  echo "kept for a look: $work"
fi
exit $status
