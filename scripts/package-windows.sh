#!/usr/bin/env bash
# Builds the Windows release folder build/packvault-windows/: the four
# statically linked executables (no DLL beside them), a commented sample
# kestrel.ini and a README for installing beside the control system.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows-deps.sh build/windows-deps
deps=$PWD/build/windows-deps/prefix
triple=x86_64-w64-mingw32
# The optimisation the tests run with under wine (-O2); the debug information
# is stripped below. (-O3 makes GCC 12 warn falsely inside std::string.)
cmake -S . -B build/windows-release -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/toolchain-mingw64.cmake" \
  -DPV_WINDOWS_DEPS="$deps" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPV_WERROR=ON -DPV_BUILD_TESTS=OFF \
  -DPV_BUILD_BENCH=OFF -DZLIB_LIBRARY=/usr/$triple/lib/libz.a -DZLIB_INCLUDE_DIR=/usr/$triple/include >/dev/null
cmake --build build/windows-release -j"$(nproc)" --target packvault plantsim pvdbf pvobjects
out=build/packvault-windows
rm -rf "$out"
mkdir -p "$out"
# Only DLLs every Windows has may be imported (the system's own and the C
# runtime msvcrt).
for exe in packvault plantsim pvdbf pvobjects; do
  cp "build/windows-release/bin/$exe.exe" "$out/"
  $triple-strip "$out/$exe.exe"
  dlls=$($triple-objdump -p "$out/$exe.exe" | sed -n 's/^\s*DLL Name: //p' | sort -u)
  if grep -qiv -e '^kernel32' -e '^user32' -e '^advapi32' -e '^ole32' -e '^bcrypt' -e '^msvcrt' \
      -e '^api-ms-win-' -e '^version' <<<"$dlls"; then
    echo "$exe.exe needs a DLL that Windows does not have:" $dlls >&2
    exit 1
  fi
  echo "$exe.exe imports only:" $dlls
done
sed 's/$/\r/' > "$out/kestrel.ini" <<'INI'
; kestrel.ini - Packvault's settings, read once at start-up from the folder
; of packvault.exe. Lines starting with ";" are comments. A value Packvault
; cannot use either refuses the start with a message or, where noted, falls
; back to its default with a note on the console.
[Packvault]
; The archive folder (required): below it one folder per table, with a day
; archive YYYYMMDD.zip, its day text file and its manifest.
MoDrv=D:\PlantArchive\
; Hours per archived interval: 1, 2, 3, 4, 6, 8, 12 or 24 (default 24).
WriteInterval=1
; Minutes between checks of the server clock: 1 to 30 (default 10).
CheckTimeInterval=10
; The tables to archive, up to five: Dbf_n is _DCLOG, _ARCHIVE or _EVENTLOG,
; Path_n the control system's project folder that holds it.
Dbf_1=_DCLOG
Path_1=C:\Plant\Project\
Dbf_2=_ARCHIVE
Path_2=C:\Plant\Project\
Dbf_3=_EVENTLOG
Path_3=C:\Plant\Project\
; Server objects that receive the last archive error number and the project
; name.
ErrorObjId=PV_ZIPERROR
ProjectObjId=PV_PROJECT
; Encryption of the members with the project code: AES256 (default), AES128,
; ZIPCRYPTO, or NONE (members unencrypted).
;ZipEncryption=AES256
; How far back missed intervals are archived at start-up: 0 to 744 hours
; (default 48); 0 archives only what the schedule reaches.
;CatchUpHours=48
INI
sed 's/$/\r/' > "$out/README.txt" <<'TXT'
Packvault for Windows
=====================

Packvault archives the control system's log tables (_DCLOG, _ARCHIVE,
_EVENTLOG) into encrypted day archives, one interval at a time, while the
control system keeps writing them.

Install
-------
1. Copy packvault.exe and kestrel.ini into one folder on the machine that
   runs the control system (for example C:\Plant\Packvault\). All four
   programs are statically linked: no other files are needed.
2. Edit kestrel.ini (its comments explain every key): at least MoDrv, the
   archive folder, and Path_n, the project folder of the tables. Use
   absolute paths.
3. Start packvault.exe from the project's working folder (the folder of
   <project>.do) with the project name:

       cd /d C:\Plant\Project
       C:\Plant\Packvault\packvault.exe plant1

   Run it in the same Windows session as the control system (it shares the
   control system's named mutexes), for example from its autostart.
4. To stop it: ESC or Ctrl+C in its window, closing the window, or setting
   the server object $SHUTDOWN to 1. It archives the interval in progress
   first.

The day archives open with any ZIP program that supports AES (7-Zip, for
example) and the project code.

Tools
-----
pvobjects.exe   lists, reads and sets server objects:
                pvobjects plant1.do set $SHUTDOWN 1
pvdbf.exe       shows and checks tables and their indexes (pvdbf without
                arguments lists its commands)
plantsim.exe    simulates the control system's writers; for trials on a test
                machine only, never beside a running control system
TXT
ls -l "$out"
