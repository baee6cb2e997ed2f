#!/bin/sh
# Makes a clean clone of the commit under test and runs scripts/release in it, with the
# umask and time zone given, as a release manager elsewhere would.
#   release-in-clone.sh SOURCE_DIR CLONE_DIR UMASK TZ
set -eu
source=$1 clone=$2
umask "$3"
export TZ="$4"
if ! git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
  echo "skipped: $source is no git checkout, and a release is made from a commit"
  exit 77
fi
rm -rf "$clone"
mkdir -p "$(dirname "$clone")"
git clone --quiet --no-hardlinks "$source" "$clone"
"$clone/scripts/release"
