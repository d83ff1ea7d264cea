#!/usr/bin/env bash
# Builds the release twice, from two copies of the sources in different folders, and compares the zips byte for byte.
#
#   reproducible.sh SOURCE REFERENCE.zip
#
# Each copy holds the files that git tracks or would track: the working tree
# as it stands, without ignored files (outside git: all but build/ and
# node_modules/). Both copies are configured with the
# win32 preset into fresh build folders of their own and built at once, one
# job each. The two zips must be equal, and equal to REFERENCE.zip, the
# release of the developer's own build folder. Everything is removed after a
# pass and kept after a failure, for a look at what differs.
set -euo pipefail
usage="usage: reproducible.sh SOURCE REFERENCE.zip"
source=$(cd "${1:?$usage}" && pwd)
reference=${2:?$usage}
zip_name=$(basename "$reference")
started=$SECONDS

# The zip's entries carry the last commit's time; the copies have no git
# history. (Without any, all three zips are dated 1980-01-01.)
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
  (cd "$copy" && cmake --preset win32 -B "$build" -DQUORVANE_DIST_DIR="$build/dist" && cmake --build "$build" --target dist)
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

zips=("${builds[0]}/dist/$zip_name" "${builds[1]}/dist/$zip_name" "$reference")
labels=("copy 1" "copy 2" "build/")
for i in 0 1 2; do
  printf '%-7s %8d bytes  SHA-256 %s  %s\n' "${labels[$i]}" "$(stat -c %s "${zips[$i]}")" \
    "$(sha256sum "${zips[$i]}" | cut -d' ' -f1)" "${zips[$i]}"
done
echo "two builds from scratch took $((SECONDS - started)) s"
status=0
for i in 1 2; do
  if ! cmp -s "${zips[0]}" "${zips[$i]}"; then
    echo "FAIL: the zip of ${labels[$i]} differs from that of ${labels[0]}; the entries that differ:"
    python3 - "${zips[0]}" "${zips[$i]}" <<'PY'
import sys, zipfile
a, b = (zipfile.ZipFile(path) for path in sys.argv[1:3])
for name in sorted({i.filename for i in a.infolist()} | {i.filename for i in b.infolist()}):
    ia, ib = (z.getinfo(name) if name in z.namelist() else None for z in (a, b))
    if ia is None or ib is None or (a.read(name), ia.date_time, ia.external_attr) != (b.read(name), ib.date_time, ib.external_attr):
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
