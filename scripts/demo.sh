#!/usr/bin/env bash
# Packvault demo: builds the program, lays out a demo installation under
# demo/, lets it archive a few intervals of a simulated plant, stops it the
# way an operator does (through "$SHUTDOWN") and shows what it wrote.
#
#   demo/bin/packvault, demo/bin/kestrel.ini   the program and its settings
#   demo/work/plant1.do                        the project's object store; its
#                                              clock runs 50 times as fast
#   demo/project/                              _DCLOG, _ARCHIVE, _EVENTLOG
#   demo/archive/<kind>/YYYYMMDD.zip, .txt     what Packvault produces
#   demo/console.txt, demo/plantsim.txt        the programs' console output
#
# Intervals are one hour, checked every minute (of real time); at 50x one
# minute is 50 minutes of plant time, so every check but the first closes an
# interval. The demo ends after INTERVALS archived intervals (default 3),
# which takes about INTERVALS + 1 minutes.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
intervals=${INTERVALS:-3}
code='demo-code-2024'

scripts/install-deps.sh
cmake -S . -B build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j"$(nproc)" --target packvault plantsim pvobjects
bin=$root/build/release/bin

demo=$root/demo
rm -rf "$demo"
mkdir -p "$demo/bin" "$demo/work" "$demo/project" "$demo/archive"
cp "$bin/packvault" "$demo/bin/"
cat > "$demo/bin/kestrel.ini" <<INI
[Packvault]
MoDrv=$demo/archive/
WriteInterval=1
CheckTimeInterval=1
Dbf_1=_DCLOG
Path_1=$demo/project/
Dbf_2=_ARCHIVE
Path_2=$demo/project/
Dbf_3=_EVENTLOG
Path_3=$demo/project/
ErrorObjId=PV_ZIPERROR
ProjectObjId=PV_PROJECT
INI

# Plant time starts today at 05:57 UT and runs 50 times as fast.
day=$(date -u +%Y-%m-%d)
ymd=$(date -u +%Y%m%d)
start="${day}T05:57:00Z"
. scripts/demo-store.sh
write_store() { demo_store "$start" 50 "$code" "Demo plant 1" > "$demo/work/plant1.do"; }
write_store

echo "== filling the plant tables: two hours of history before $start"
"$bin/plantsim" "$demo/project" --fill 7200 --from "${day}T03:57:00Z" --to "$start" \
  --seed 42 --delete-share 0.02 --local-offset 3600 | tee "$demo/plantsim.txt"

# The clock starts now, with the live feed and Packvault.
write_store
"$bin/plantsim" "$demo/project" --store "$demo/work/plant1.do" --rate 20 --seed 43 \
  >> "$demo/plantsim.txt" 2>&1 &
sim=$!
(cd "$demo/work" && exec "$demo/bin/packvault" plant1 < /dev/null > "$demo/console.txt" 2>&1) &
pv=$!
trap 'kill $sim $pv 2>/dev/null || true' EXIT

echo "== Packvault runs (pid $pv); waiting for $intervals archived intervals"
txt=$demo/archive/_EVENTLOG/$ymd.txt
for ((i = 0; i < 60 * (intervals + 3); i++)); do
  n=$(grep -ac 'UT: ' "$txt" 2>/dev/null || true)
  [ "${n:-0}" -ge "$intervals" ] && break
  kill -0 $pv 2>/dev/null || { echo "Packvault ended early:"; cat "$demo/console.txt"; exit 1; }
  sleep 1
done
sleep 2

echo "== stopping it through \$SHUTDOWN"
"$bin/pvobjects" "$demo/work/plant1.do" set '$SHUTDOWN' 1
wait $pv && rc=0 || rc=$?
wait $sim || true
trap - EXIT
echo "Packvault exit code: $rc"

echo
echo "== server objects"
"$bin/pvobjects" "$demo/work/plant1.do" list
for kind in _DCLOG _ARCHIVE _EVENTLOG; do
  echo
  echo "== $kind: demo/archive/$kind/"
  ls -l "$demo/archive/$kind/"
  echo "-- members of $ymd.zip (password: $code)"
  7z l -p"$code" "$demo/archive/$kind/$ymd.zip" | sed -n '/^----/,/^----/p'
  echo "-- $ymd.txt (each line ends in CR LF NUL: ^M closes a line, ^@ opens the next)"
  cat -v "$demo/archive/$kind/$ymd.txt"
  echo
done
echo
echo "== last console lines (all in demo/console.txt)"
tail -n 12 "$demo/console.txt"
exit "$rc"
