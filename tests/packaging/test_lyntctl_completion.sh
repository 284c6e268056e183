#!/usr/bin/env bash
# lyntctl's bash completion, driven as bash drives it: COMP_WORDS and COMP_CWORD set, the function
# that "complete -p lyntctl" names called, COMPREPLY read back. The lyntctl on PATH is the built one.
# Usage: test_lyntctl_completion.sh COMPLETION_FILE LYNTCTL_DIR
set -uo pipefail
completion=$1
export PATH="$2:$PATH"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# shellcheck source=/dev/null
source "$completion"
registered=$(complete -p lyntctl) || { echo "FAIL: nothing registered for lyntctl"; exit 1; }
function=$(awk '{ for (i = 1; i < NF; i++) if ($i == "-F") print $(i + 1) }' <<<"$registered")
[ -n "$function" ] || { echo "FAIL: no completion function in: $registered"; exit 1; }

# complete WORD... : the line typed so far, the last word being completed; prints COMPREPLY sorted.
complete_line() {
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  "$function" lyntctl "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort
}
# expect "WANTED words" WORD... : exactly these candidates.
expect() {
  local wanted got
  wanted=$(tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort)
  shift
  got=$(complete_line "$@" | sed '/^$/d')
  [ "$got" = "$wanted" ] || fail "lyntctl ${*:2}| gave [$(echo $got)], wanted [$(echo $wanted)]"
}
# includes WORD WORD... : WORD is among the candidates.
includes() {
  local word=$1
  shift
  complete_line "$@" | grep -qx -- "$word" || fail "lyntctl ${*:2}| does not offer $word"
}

includes devices lyntctl ""
includes firmware lyntctl ""
includes send-clip lyntctl ""
expect "--device" lyntctl --de
expect "--json" lyntctl --js
expect "firmware" lyntctl firm
expect "check upgrade" lyntctl firmware ""
# The command is found past the options and an option's value.
expect "show upgrade" lyntctl --json panel ""
expect "check upgrade" lyntctl --device /dev/hidraw9 firmware ""
expect "--package --yes" lyntctl firmware upgrade --
expect "sounds sound effects effect" lyntctl cloud ""
expect "--use --slot" lyntctl cloud effect 2 --
expect "--stop" lyntctl pad --
expect "--levels" lyntctl monitor --
expect "send-clip send-effect" lyntctl help send-

# Files: only MP3 clips (and folders) for send-clip, only zips for --package.
mkdir "$tmp/clips"
touch "$tmp/a.mp3" "$tmp/b.MP3" "$tmp/c.txt" "$tmp/fw.zip"
expect "$tmp/a.mp3 $tmp/b.MP3 $tmp/clips" lyntctl send-clip "$tmp/"
expect "$tmp/clips $tmp/fw.zip" lyntctl firmware upgrade --package "$tmp/"

# Parameter names come from "lyntctl params" when this lyntctl has it: every identifier it lists
# is offered for get, and for set only where a name goes (not in a value's place).
if params=$(lyntctl params 2>/dev/null) && [ -n "$params" ]; then
  names=$(awk '$1 ~ /^[0-9]+$/ && $2 ~ /^[A-Za-z][A-Za-z0-9_]*$/ { print $2 }' <<<"$params" | sort)
  [ "$(wc -l <<<"$names")" -ge 40 ] || fail "lyntctl params gave $(wc -l <<<"$names") identifiers"
  [ "$(complete_line lyntctl get "")" = "$names" ] || fail "get does not offer exactly the params"
  first=$(head -n 1 <<<"$names")
  includes "$first" lyntctl set ""
  includes "$first" lyntctl set "$first" 10 ""
  expect "" lyntctl set "$first" ""
else
  echo "this lyntctl has no 'params' command: parameter names not checked"
  expect "" lyntctl get ""
fi

[ "$failures" -eq 0 ] && echo "lyntctl completion: all checks passed"
exit $((failures > 0))
