#!/bin/sh
# Checks that two releases of the same commit are the same, byte for byte.
#   check-reproducible.sh DIST_DIR OTHER_DIST_DIR
set -eu
a=$1 b=$2
cat "$a/SHA256SUMS"
cmp "$a/SHA256SUMS" "$b/SHA256SUMS"
for file in "$a"/*; do
  cmp "$file" "$b/$(basename "$file")"
done
(cd "$b" && sha256sum --check --quiet SHA256SUMS)
echo "both releases are the same"
