#!/bin/sh
# Checks the Debian package as Debian and a user would, touching nothing of the machine's:
# lintian reports no error and no warning, with no override in the package; the program
# passes hardening-check; and unpacked into a scratch root, it answers as the tested
# build does, and man shows its page.
#   check-debian-package.sh DIST_DIR SCRATCH_DIR TESTED_VMTALLY
set -eu
root=$2 tested=$3
deb=$(echo "$1"/vmtally_*.deb)

echo "== lintian"
if ! lintian --fail-on error,warning --display-info "$deb" >"$root.lintian" 2>&1; then
  cat "$root.lintian"
  exit 1
fi
grep -v 'root privileges' "$root.lintian" || true
rm -f "$root.lintian"
if dpkg-deb --contents "$deb" | grep -q lintian/overrides; then
  echo "the package overrides lintian"
  exit 1
fi

rm -rf "$root"
dpkg-deb --extract "$deb" "$root"
program=$root/usr/bin/vmtally

echo "== hardening-check"
hardening-check "$program" | tee "$root.hardening"
for check in 'Position Independent Executable: yes' 'Stack protected: yes' \
             'Read-only relocations: yes' 'Immediate binding: yes'; do
  grep -q "^ $check" "$root.hardening" || { echo "no '$check'"; exit 1; }
done
grep -qE '^ Fortify Source functions: (yes|unknown, no protectable)' "$root.hardening" ||
  { echo "the fortified functions are not used"; exit 1; }
rm -f "$root.hardening"

echo "== the program and its manual page"
for arguments in "" "0" "1 2 3" "$$ 65536"; do
  # shellcheck disable=SC2086 # the words of each case are its arguments
  "$program" $arguments >"$root.got"
  # shellcheck disable=SC2086
  "$tested" $arguments >"$root.want"
  cmp "$root.want" "$root.got" || { echo "it answers '$arguments' otherwise"; exit 1; }
done
rm -f "$root.got" "$root.want"
MANPATH=$root/usr/share/man MANWIDTH=80 man vmtally 2>&1 |
  grep -q 'vmtally - summarise the virtual address space of a process'
head -n 1 "$root/usr/share/doc/vmtally/copyright" | grep -q '^Format: '
echo "the package is clean, hardened, runs and has its manual page"
