#!/usr/bin/env bash
# Checks the Debian package as an administrator meets it, in one run:
#   1. builds it (scripts/package-deb.sh);
#   2. installs it with dpkg, through apt for its dependencies, on a clean
#      Debian system: a minimal debootstrap chroot of this machine's release
#      (about a minute to make; its pristine tree is kept as
#      BUILD_DIR/debroot-<release>.tar, and every run unpacks a fresh copy);
#   3. runs the installed packvault on a demo project the way its systemd
#      unit does (working directory /var/lib/packvault, "packvault <project>",
#      stopped by SIGTERM), then verifies the archives it wrote with the
#      installed pvarchive against the plant tables;
#   4. lets systemd-analyze verify the installed unit on that system (the
#      chroot carries systemd, as an administrator's machine does).
# Needs root (chroot, mounts) and the Debian mirror (DEBIAN_MIRROR).
# Usage: scripts/check-deb.sh [BUILD_DIR]      (default build/release)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/release}
deb=$(scripts/package-deb.sh "$build" | tail -1)
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
release=$(. /etc/os-release && echo "$VERSION_CODENAME")
base="$build/debroot-$release-systemd.tar"
log="$build/check-deb.log"

root=$(mktemp -d /tmp/pvdebroot.XXXXXX)
cleanup() {
  for m in "$root/dev/shm" "$root/proc"; do
    if mountpoint -q "$m"; then umount "$m"; fi
  done
  rm -rf "$root"
}
trap cleanup EXIT

started=$SECONDS
if [ -f "$base" ]; then
  tar -C "$root" -xf "$base"
else
  debootstrap --variant=minbase --include=systemd "$release" "$root" "$mirror" > "$log" 2>&1 ||
    { tail -20 "$log"; exit 1; }
  tar -C "$root" -cf "$base.tmp" . && mv "$base.tmp" "$base"
fi
echo "check-deb: clean $release system ready after $((SECONDS - started)) s"

cp /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/packvault.deb"
cp scripts/demo-store.sh "$root/tmp/demo-store.sh"
# packvault finds itself through /proc/self/exe; named mutexes live in /dev/shm.
mount -t proc proc "$root/proc"
mount -t tmpfs tmpfs "$root/dev/shm"
apt=(apt-get -o APT::Sandbox::User=root -qq)
{ chroot "$root" "${apt[@]}" update &&
  chroot "$root" env DEBIAN_FRONTEND=noninteractive "${apt[@]}" install -y /tmp/packvault.deb; } > "$log" 2>&1 ||
  { tail -20 "$log"; exit 1; }
echo "check-deb: installed $(basename "$deb") after $((SECONDS - started)) s"

cat > "$root/tmp/demo.sh" <<'DEMO'
set -eu
bin=/opt/packvault/bin
# The packaged kestrel.ini, unchanged: 8-hour intervals, the project and the
# archives below /var/lib/packvault.
mkdir -p /var/lib/packvault/project /var/lib/packvault/archive /var/log/packvault
cd /var/lib/packvault
$bin/plantsim project --fill 3600 --from 2024-03-01T04:00:00Z --to 2024-03-01T06:00:00Z --seed 5 > /dev/null
. /tmp/demo-store.sh
demo_store 2024-03-01T06:30:00Z 0 demo-code-2024 "Demo plant" > demo.do
ZRLOGFILEDIR=/var/log/packvault $bin/packvault demo < /dev/null > console.txt 2>&1 &
pid=$!
for _ in $(seq 50); do grep -q "Destination file path" console.txt && break; sleep 0.2; done
sleep 1
kill -TERM $pid
rc=0
wait $pid || rc=$?
if [ $rc -ne 0 ] || ! grep -q "Finished updating archives 20240301" console.txt; then
  echo "packvault ended with $rc:"; cat console.txt; exit 1
fi
$bin/pvarchive list archive
$bin/pvarchive verify archive --store demo.do --plant project
DEMO
chroot "$root" /bin/sh /tmp/demo.sh
echo "check-deb: the installed packvault archived the demo project; pvarchive verify passed"

# A template is verified through an instance of it.
cp "$root/lib/systemd/system/packvault@.service" "$root/etc/systemd/system/packvault@demo.service"
chroot "$root" systemd-analyze verify /etc/systemd/system/packvault@demo.service
echo "check-deb: systemd-analyze verify accepts packvault@.service"
echo "check-deb: done in $((SECONDS - started)) s"
