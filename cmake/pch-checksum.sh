#!/bin/sh
# Compiler launcher of the precompiled-header donors: runs the compile it is given, then writes a
# checksum of the new set beside it (<set>.gch.sum). ccache, with pch_external_checksum, hashes
# that small file instead of reading the whole set (100-300 MB) for every file that uses it.
# The checksum is written by the same build step that writes the set, so no file can be
# compiled against a set whose checksum is stale.
"$@" || exit $?
out=
prev=
for arg in "$@"; do
  if [ "$prev" = "-o" ]; then
    out=$arg
  fi
  prev=$arg
done
case $out in
  *.gch)
    md5sum < "$out" > "$out.sum.tmp" && mv -f "$out.sum.tmp" "$out.sum"
    ;;
esac
