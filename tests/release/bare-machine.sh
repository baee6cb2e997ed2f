#!/bin/sh
# What a new user does on a minimal Debian: a clean clone of the commit under test, and
# the README's run command on a process running there, twice; then once more after a
# configure that failed and left its cache behind; then the demo. Every report must be
# the whole report, the same as the one the tested build gives for that process.
#   bare-machine.sh SOURCE_DIR WORK_DIR FIXTURE_TARGET VMTALLY
# Needs root, for debootstrap, chroot and a mount of /proc in the scratch root; the
# mount is made in a mount namespace of the script's own and goes with it.
set -eu
source=$1 work=$2 fixture=$3 vmtally=$4
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: a minimal Debian root takes root to make (debootstrap, chroot)"
  exit 77
fi
if [ -z "${VMTALLY_OWN_MOUNTS:-}" ]; then
  if ! unshare --mount --propagation private true 2>/dev/null; then
    echo "skipped: no mount namespace of its own can be made here (as inside a chroot, where /"
    echo "is no mount point), and /proc must not be mounted into the scratch root for all to see"
    exit 77
  fi
  VMTALLY_OWN_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
fi

# The suite this machine runs, from the mirror its own apt configuration names for it,
# as its sources say it whether or not apt has read the mirror's lists yet (the fields
# in single quotes are apt's, not the shell's).
suite=$(sed -n 's/^VERSION_CODENAME=//p' /etc/os-release)
# shellcheck disable=SC2016
mirror=$(apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE) $(IDENTIFIER)' |
         awk -v suite="$suite" '$2 == suite && $3 == "Packages" { print $1; exit }')
if [ -z "$mirror" ]; then
  echo "this machine's apt configuration has no source for $suite"
  exit 1
fi

root=$work/root
rm -rf "$work"
mkdir -p "$work"
echo "== debootstrap --variant=minbase $suite"
if ! debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1
then
  tail -n 20 "$work/debootstrap.log"
  exit 1
fi
mount -t proc proc "$root/proc"
git clone --quiet --no-hardlinks "$source" "$root/home/user/vmtally"
cp "$fixture" "$root/usr/local/bin/fixture_target"

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"
}

# The process to survey runs in the root until this script lets go of its input.
mkfifo "$work/input"
in_root /usr/local/bin/fixture_target /tmp <"$work/input" >"$work/fixture.out" &
exec 3>"$work/input"
for _ in $(seq 100); do
  grep -q ' ready$' "$work/fixture.out" && break
  sleep 0.1
done
pid=$(cut -d ' ' -f 1 "$work/fixture.out")
"$vmtally" "$pid" 65536 >"$work/expected"

survey() {
  echo "== $1: scripts/run $pid 65536"
  if ! in_root sh -c "cd /home/user/vmtally && scripts/run $pid 65536" >"$work/report" \
       2>"$work/errors"; then
    cat "$work/errors"
    exit 1
  fi
  cat "$work/errors"
  tr -d '\r' <"$work/report"
  cmp "$work/expected" "$work/report"
}
survey "first run"
survey "second run"
echo "== a configure that fails, leaving its cache"
in_root sh -c "cd /home/user/vmtally && rm -rf build &&
  ! cmake --preset linux-release -DCMAKE_CXX_COMPILER=/nonexistent >/dev/null 2>&1 &&
  test -f build/linux-release/CMakeCache.txt"
survey "after the failed configure"

echo "== scripts/demo"
if ! in_root sh -c "cd /home/user/vmtally && scripts/demo" >"$work/demo" 2>&1; then
  cat "$work/demo"
  exit 1
fi
tr -d '\r' <"$work/demo"
tr -d '\r' <"$work/demo" | grep -q '^Free block count > 1048576: 6$'

exec 3>&-
wait
umount "$root/proc"
rm -rf "$work"
echo "scripts/run and scripts/demo work on a minimal Debian, every time"
