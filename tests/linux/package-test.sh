#!/bin/sh
# Makes the Debian package of a build, installs it (as root; otherwise unpacks it), and
# runs the installed vmtally and reads its manual page.
#   package-test.sh BUILD_DIR
set -eu
build=$1
cd "$build"
cpack -G DEB >/dev/null
deb=$(ls vmtally_*.deb)
dpkg-deb --info "$deb" | grep -q 'Package: vmtally'

if [ "$(id -u)" -eq 0 ]; then
  dpkg -i "$deb" >/dev/null
  trap 'dpkg -r vmtally >/dev/null' EXIT
  root=
else
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"
fi

out=$("$root/usr/bin/vmtally" 2>&1 | tr -d '\r')
printf '%s\n' "$out"
printf '%s\n' "$out" | grep -q '^usage - vmtally \[process id\]$'
"$root/usr/bin/vmtally" 0 | tr -d '\r' | grep -q '^No such process$'
test -f "$root/usr/share/man/man1/vmtally.1"
if command -v man >/dev/null && [ -z "$root" ]; then
  MANWIDTH=80 man vmtally 2>/dev/null | grep -q 'vmtally - summarise the virtual address space'
fi
echo "package installs and runs"
