#!/usr/bin/env bash
# Builds the Windows release folder build/packvault-windows/: the four
# statically linked executables (no DLL beside them), a commented sample
# kestrel.ini and a README for installing beside the control system.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows-deps.sh build/windows-deps
deps=$PWD/build/windows-deps/prefix
triple=x86_64-w64-mingw32
cmake -S . -B build/windows-release -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw64.cmake" \
  -DPV_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=Release -DPV_WERROR=ON -DPV_BUILD_TESTS=OFF \
  -DPV_BUILD_BENCH=OFF -DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include >/dev/null
cmake --build build/windows-release -j"$(nproc)" --target packvault plantsim pvdbf pvobjects
out=build/packvault-windows
rm -rf "$out"
mkdir -p "$out"
for exe in packvault plantsim pvdbf pvobjects; do
  cp "build/windows-release/bin/$exe.exe" "$out/"
  $triple-strip "$out/$exe.exe"
  if $triple-objdump -p "$out/$exe.exe" | grep -i 'DLL Name' | grep -qiv \
      -e kernel32 -e user32 -e advapi32 -e ole32 -e bcrypt -e msvcrt -e api-ms-win -e shell32 -e version; then
    echo "$exe.exe needs a DLL that Windows does not have:" >&2
    $triple-objdump -p "$out/$exe.exe" | grep -i 'DLL Name' >&2
    exit 1
  fi
done
sed 's/$/\r/' > "$out/kestrel.ini" <<'INI'
; kestrel.ini - Packvault settings. Lives beside packvault.exe.
[Packvault]
; Where the day archives go: one folder per table, YYYYMMDD.zip and .txt.
MoDrv=D:\PlantArchive\
; Minutes per archived interval, and minutes between checks of the clock.
WriteInterval=60
CheckTimeInterval=1
; The tables to archive: name and the folder of the control system's project.
Dbf_1=_DCLOG
Path_1=C:\Plant\Project\
Dbf_2=_ARCHIVE
Path_2=C:\Plant\Project\
Dbf_3=_EVENTLOG
Path_3=C:\Plant\Project\
; Server objects that receive the last ZIP error and the project name.
ErrorObjId=PV_ZIPERROR
ProjectObjId=PV_PROJECT
; Encryption of the members: AES256 (default), AES128 or ZIPCRYPTO.
;ZipEncryption=AES256
INI
sed 's/$/\r/' > "$out/README.txt" <<'TXT'
Packvault for Windows
=====================

Packvault archives the control system's log tables (_DCLOG, _ARCHIVE,
_EVENTLOG) into encrypted day archives, one interval at a time.

Install
-------
1. Copy packvault.exe and kestrel.ini into one folder on the machine that
   runs the control system (for example C:\Plant\Packvault\).
2. Edit kestrel.ini: MoDrv (the archive folder) and Path_n (the project
   folder of the tables). Give absolute paths.
3. Start packvault.exe with the project name from the project's working
   folder (the folder of <project>.do):   packvault.exe plant1
   ESC, Ctrl+C, closing the window or setting $SHUTDOWN to 1 stops it after
   the interval in progress is archived.

Tools
-----
pvobjects.exe   lists, reads and sets server objects (pvobjects plant1.do set $SHUTDOWN 1)
pvdbf.exe       shows and checks tables and their indexes
plantsim.exe    simulates the control system's writers, for trials only

All four programs are statically linked: no other files are needed.
TXT
ls -l "$out"
