#!/bin/sh
# In the emulated PC: runs each case group of groups.txt under the Wine bench, with logs and exit codes back in the work folder.
work=/mnt/work
bench=/mnt/source/tests/wine/bench.sh
state=/var/lib/quorvane/bench
results=$work/results
QUORVANE_TIME_SCALE=$(cat "$work/scale")
export QUORVANE_TIME_SCALE

# The programs run from the guest's memory, where the integrity cases also
# write their damaged copies; the program finds Help\quorvane.hlp from there.
mkdir -p /tmp/bin
cp -r "$work/bin/." /tmp/bin/
cd /tmp/bin || exit 1

if ! "$bench" setup "$state" >"$results/bench.log" 2>&1 </dev/null; then
    echo "guest-run: the Wine bench did not start:"
    cat "$results/bench.log"
    exit 1
fi
touch "$results/bench"
while read -r driver group seconds; do
    begin=$(date +%s)
    status=0
    "$bench" run "$state" $((seconds * QUORVANE_TIME_SCALE)) "/tmp/bin/$driver.exe" "$group" --source /mnt/source \
        >"$results/$group.log" 2>&1 </dev/null || status=$?
    took=$(($(date +%s) - begin))
    echo "$status $took" >"$results/$group.status"
    echo "guest-run: $group ended with $status after $took s"
done <"$work/groups.txt"

# The command-line generator, with the arguments that compare_code.py left
# in files, in a UTF-8 locale as Wine expects them.
for address in "$work"/code/*.address; do
    [ -f "$address" ] || continue
    case=${address%.address}
    status=0
    LC_ALL=C.UTF-8 "$bench" run "$state" $((60 * QUORVANE_TIME_SCALE)) /tmp/bin/quorvane-code.exe \
        "$(cat "$address")" "$(cat "$case.link")" >"$case.out" 2>"$case.err" </dev/null || status=$?
    echo "$status" >"$case.status"
done

# Its site commands on a copy of the small site in the guest's memory; the
# hard link is made again there, whatever the shared folder made of it.
if [ -d "$work/code/site" ]; then
    cp -a "$work/code/site" /tmp/site
    top=$(ls /tmp/site)
    ln -f "/tmp/site/$top/twice.html" "/tmp/site/$top/Unterseite/twice.html"
    for command in protect check; do
        status=0
        (cd /tmp/site && LC_ALL=C.UTF-8 "$bench" run "$state" $((60 * QUORVANE_TIME_SCALE)) \
            /tmp/bin/quorvane-code.exe "--$command" "$top") \
            >"$work/code/site.$command.out" 2>"$work/code/site.$command.err" </dev/null || status=$?
        echo "$status" >"$work/code/site.$command.status"
    done
    stat -c %Y "/tmp/site/$top/Unterseite/plain.html" >"$work/code/site.mtime"
    cp -r /tmp/site "$work/code/site-after"
fi
"$bench" cleanup "$state" </dev/null
