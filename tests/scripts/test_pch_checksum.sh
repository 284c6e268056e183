#!/usr/bin/env bash
# cmake/pch-checksum.sh with the real compiler: a set's checksum must follow what the set is made
# of (a header, a flag) and nothing else (its bytes, where the checkout lies), and a failed
# compile must leave none behind: a stale one would hand out cached objects built against
# another set.
# Usage: test_pch_checksum.sh PCH_CHECKSUM_SH [COMPILER]   (default c++; clang's sets end in .pch)
set -euo pipefail
launcher=$1
compiler=${2:-c++}
# The set's header as CMake hands it to each: clang, given a plain -include, would load the
# set left by the compile before instead of the header.
ext=gch
include=(-include set.hxx)
case $("$compiler" --version | head -n 1) in
  *clang*) ext=pch include=(-Xclang -emit-pch -Xclang -include -Xclang set.hxx) ;;
esac
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# A header from outside the checkout, as the system's are.
mkdir -p "$tmp/system"
printf 'int System();\n' >"$tmp/system/system.h"
# A checkout with a set of two headers, the second named by its full path as CMake names them.
make_tree() {
  mkdir -p "$1/inc" "$1/build"
  printf '#include <system.h>\nint Alpha();\n' >"$1/inc/alpha.h"
  printf '#include "alpha.h"\n#include "%s/inc/beta.h"\n' "$1" >"$1/build/set.hxx"
  printf 'inline int Beta() { return 2; }\n' >"$1/inc/beta.h"
  printf '/* set */\n' >"$1/build/set.hxx.cxx"
}
# Compiles the set of tree $1 with extra flags; prints its checksum, or "none". The set is named
# relative to the build folder, as ccache hands it to the compiler (which lists it so).
checksum() {
  local tree=$1
  shift
  (cd "$tree/build" &&
    sh "$launcher" "$tree" "$compiler" -O0 "$@" -I"$tree/inc" -isystem "$tmp/system" -x c++-header \
      "${include[@]}" -MD -MT set.hxx.$ext -MF set.hxx.$ext.d -o set.hxx.$ext \
      -c "$tree/build/set.hxx.cxx") ||
    true
  cat "$tree/build/set.hxx.$ext.sum" 2>/dev/null || echo none
}

make_tree "$tmp/one"
first=$(checksum "$tmp/one")
[ "$first" != none ] || fail "no checksum after a good compile"
[ -s "$tmp/one/build/set.hxx.$ext" ] || fail "no set written"
[ "$(checksum "$tmp/one")" = "$first" ] || fail "the same set twice, two checksums"

make_tree "$tmp/elsewhere/two"
[ "$(checksum "$tmp/elsewhere/two")" = "$first" ] || fail "the same set in another folder differs"

printf 'inline int Beta() { return 3; }\n' >"$tmp/one/inc/beta.h"
changed=$(checksum "$tmp/one")
[ "$changed" != "$first" ] || fail "a changed header kept the checksum"
[ "$(checksum "$tmp/one" -DVELORA_OTHER)" != "$changed" ] || fail "a new flag kept the checksum"
printf 'int System(int);\n' >"$tmp/system/system.h"
[ "$(checksum "$tmp/one")" != "$changed" ] || fail "a changed system header kept the checksum"

printf 'this is not C++\n' >"$tmp/one/inc/beta.h"
[ "$(checksum "$tmp/one" 2>/dev/null)" = none ] || fail "a failed compile left a checksum"

# Files other than sets go straight to the compiler, with its status.
printf 'int main() { return 0; }\n' >"$tmp/main.cpp"
sh "$launcher" "$tmp" "$compiler" -o "$tmp/main.o" -c "$tmp/main.cpp" || fail "a plain compile failed"
[ ! -e "$tmp/main.o.sum" ] || fail "a plain compile got a checksum"
if sh "$launcher" "$tmp" false; then fail "a failing command reported success"; fi

[ "$failures" = 0 ] && echo "all checks passed"
exit "$failures"
