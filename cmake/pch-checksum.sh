#!/bin/sh
# Compiler launcher of the precompiled-header donors:
#   pch-checksum.sh SOURCE_DIR LAUNCHER... COMPILER ARGS...
# Runs the compile, then writes beside the new set (GCC's <set>.gch, clang's <set>.pch) a checksum
# of what it was made from (<set>.gch.sum, <set>.pch.sum): the compile line and every file the
# set includes, with the checkout's own path taken out. ccache, with pch_external_checksum, hashes
# that small file instead of reading the whole set (100-300 MB) for every file that uses it.
# The set's own bytes would not do: GCC writes them differently on every run, so two clones (or
# one tree after a rebuild of its set) would never share the cache entries of the files that use
# it. The checksum is written by the step that writes the set, and removed before it runs, so no
# file is compiled against a set whose checksum is stale; without one ccache reads the set.
src=$1
shift
out=
deps=
prev=
for arg in "$@"; do
  case $prev in
    -o) out=$arg ;;
    -MF) deps=$arg ;;
  esac
  prev=$arg
done
case $out in
  *.gch | *.pch) rm -f "$out.sum" ;;  # GCC's sets, clang's
  *) exec "$@" ;;
esac
"$@" || exit $?
[ -n "$deps" ] && [ -f "$deps" ] || exit 0

root=$(printf '%s' "$src" | sed 's/[][\\.|$*^&]/\\&/g')
local_paths() { sed "s|$root|@src@|g"; }
# The dependency file: "target: file file \" lines, made one file a line.
sed -e '1s/^[^:]*://' -e 's/\\$//' "$deps" | tr -s ' \t' '\n\n' | sed '/^$/d' > "$out.sum.files"
{
  printf '%s\n' "$@" | local_paths
  # The system's headers all at once; the checkout's own and the build's (a few, named by
  # relative paths) with the checkout's path taken out of their text too: CMake names the
  # headers of a set by their full paths.
  grep '^/' "$out.sum.files" | grep -v -F "$src/" | xargs -r -d '\n' md5sum || echo "unreadable"
  { grep -v '^/' "$out.sum.files"; grep -F "$src/" "$out.sum.files"; } | while IFS= read -r file; do
    if [ -r "$file" ]; then
      printf '%s ' "$file" | local_paths
      local_paths < "$file" | md5sum
    else
      echo "unreadable $file"
    fi
  done
} > "$out.sum.in" 2>/dev/null
# A list with a file it could not read names no set: leave ccache to read the set itself.
if ! grep -q '^unreadable' "$out.sum.in"; then
  md5sum < "$out.sum.in" > "$out.sum.tmp" && mv -f "$out.sum.tmp" "$out.sum"
fi
rm -f "$out.sum.files" "$out.sum.in" "$out.sum.tmp"
