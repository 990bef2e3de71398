#!/usr/bin/env bash
# One end-to-end run of the Windows executables under wine: plantsim.exe
# fills and feeds the three plant tables, packvault.exe archives them on a
# server clock that runs 50 times as fast, pvobjects.exe stops it through
# "$SHUTDOWN", and 7z (the Linux one) opens every archive with the project
# code and confirms the day manifest's digests. Needs a built build/windows and a running wineserver (as
# scripts/test-windows.sh provides). Takes about a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$PWD/build/windows/bin
run=$PWD/build/windows/e2e
code='e2e-code-2024'
rm -rf "$run"
mkdir -p "$run/bin" "$run/work" "$run/project" "$run/archive"
cp "$bin/packvault.exe" "$run/bin/"
win() { echo "Z:$1" | tr / '\\'; }  # the wine drive that maps /
cat > "$run/bin/kestrel.ini" <<INI
[Packvault]
MoDrv=$(win "$run/archive/")
WriteInterval=1
CheckTimeInterval=1
Dbf_1=_DCLOG
Path_1=$(win "$run/project/")
Dbf_2=_ARCHIVE
Path_2=$(win "$run/project/")
Dbf_3=_EVENTLOG
Path_3=$(win "$run/project/")
ErrorObjId=PV_ZIPERROR
ProjectObjId=PV_PROJECT
INI
day=$(date -u +%Y-%m-%d)
ymd=$(date -u +%Y%m%d)
start="${day}T04:57:00Z"
. scripts/demo-store.sh
write_store() { demo_store "$start" 50 "$code" "Wine plant" > "$run/work/plant1.do"; }
write_store
wine "$bin/plantsim.exe" "$(win "$run/project")" --fill 3600 --from "${day}T03:57:00Z" --to "$start" \
  --seed 42 --local-offset 3600 > "$run/plantsim.txt" 2>&1
write_store
wine "$bin/plantsim.exe" "$(win "$run/project")" --store "$(win "$run/work/plant1.do")" --rate 20 \
  --seed 43 >> "$run/plantsim.txt" 2>&1 &
sim=$!
(cd "$run/work" && exec wine "$run/bin/packvault.exe" plant1 < /dev/null > "$run/console.txt" 2>&1) &
pv=$!
trap 'kill $sim $pv 2>/dev/null || true' EXIT

txt=$run/archive/_EVENTLOG/$ymd.txt
for ((i = 0; i < 300; i++)); do
  n=$(grep -ac 'UT: ' "$txt" 2>/dev/null || true)
  [ "${n:-0}" -ge 1 ] && break
  kill -0 $pv 2>/dev/null || { echo "packvault.exe ended early:"; cat "$run/console.txt"; exit 1; }
  sleep 1
done
wine "$bin/pvobjects.exe" "$(win "$run/work/plant1.do")" set '$SHUTDOWN' 1 >/dev/null
rc=0
wait $pv || rc=$?
kill $sim 2>/dev/null || true
wait $sim 2>/dev/null || true
trap - EXIT
[ "$rc" -eq 0 ] || { echo "packvault.exe exit code $rc"; tail -n 20 "$run/console.txt"; exit 1; }
for kind in _DCLOG _ARCHIVE _EVENTLOG; do
  zip=$run/archive/$kind/$ymd.zip
  listing=$(7z l -slt -p"$code" "$zip")
  grep -q '^Method = .*AES' <<<"$listing" || { echo "$zip: no AES member"; exit 1; }
  7z t -p"$code" "$zip" >/dev/null || { echo "$zip: 7z cannot open it with the code"; exit 1; }
  # The day manifest's SHA-256 (bcrypt) against the members' bytes.
  checked=0
  while read -r tag sha size records name; do
    [ "$tag" = member ] || continue
    got=$(7z e -so -p"$code" "$zip" "$name" | sha256sum | cut -d' ' -f1)
    [ "$got" = "$sha" ] || { echo "$zip: $name: manifest $sha, member $got"; exit 1; }
    checked=$((checked + 1))
  done < "${zip%.zip}.manifest"
  [ "$checked" -ge 1 ] || { echo "$zip: no member in the manifest"; exit 1; }
  echo "$kind: $(grep -c '^Method = ' <<<"$listing") members, AES, 7z test ok, $checked manifest digests match"
done
# The banner comes from the executable's version resource (GetFileVersionInfoA).
grep -aq '^Packvault version [0-9]*\.[0-9]*\.[0-9]*\.[0-9]*' "$run/console.txt" ||
  { echo "no version banner:"; head -n 3 "$run/console.txt"; exit 1; }
grep -a 'SHUTDOWN\|stop' "$run/console.txt" | tail -n 3 || true
echo "end-to-end under wine: ok"
