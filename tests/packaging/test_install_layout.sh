#!/usr/bin/env bash
# Installs the build into two staging folders, as the package (prefix /usr) and as a local install
# (prefix /usr/local), and checks that every file lands where the system looks for it: above all
# the udev rule, which udev reads only from /usr/lib/udev/rules.d and /etc/udev/rules.d.
# Usage: test_install_layout.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect() { [ -e "$1" ] || fail "missing ${1#"$tmp"/}"; }
absent() { [ ! -e "$1" ] || fail "unexpected ${1#"$tmp"/}"; }

# DESTDIR: the staging copy never runs udevadm or touches this system.
DESTDIR="$tmp/pkg" cmake --install "$build" --prefix /usr >"$tmp/pkg.log" 2>&1 ||
  { cat "$tmp/pkg.log"; exit 1; }
p=$tmp/pkg/usr
for f in bin/velora bin/lyntctl lib/udev/rules.d/70-velora-lynt.rules \
  share/applications/velora.desktop share/icons/hicolor/scalable/apps/velora.svg \
  share/metainfo/org.velora.Velora.metainfo.xml share/bash-completion/completions/lyntctl \
  share/man/man1/velora.1.gz share/man/man1/lyntctl.1.gz share/velora/EffectList.xml \
  share/velora/Manuals/UserManual.pdf share/doc/velora/copyright \
  share/doc/velora/changelog.Debian.gz share/lintian/overrides/velora; do
  expect "$p/$f"
done
# The programs find their data beside themselves or in ../share/velora.
expect "$p/bin/../share/velora/Manuals/UserManual.pdf"
absent "$p/bin/lynt-virtual-card"  # a developer's tool, not for the card's owners
# lyntctl runs the full client from the library-executables folder: installed, it finds it there.
expect "$p/libexec/velora/lyntctl-full"
absent "$p/bin/lyntctl-full"
version=$("$p/bin/lyntctl" --version 2>&1) || fail "the installed lyntctl does not run: $version"
grep -q "^lyntctl " <<<"$version" || fail "the installed lyntctl --version says: $version"
absent "$tmp/pkg/etc"
cmp -s "$source/packaging/70-velora-lynt.rules" "$p/lib/udev/rules.d/70-velora-lynt.rules" ||
  fail "the installed rule differs from packaging/70-velora-lynt.rules"
[ "$(stat -c %a "$p/lib/udev/rules.d/70-velora-lynt.rules")" = 644 ] || fail "rule not mode 644"
grep -qE "udev not running|applied again|needs root" "$tmp/pkg.log" && fail "udev was asked to reload for a staging install"

DESTDIR="$tmp/local" cmake --install "$build" --prefix /usr/local >"$tmp/local.log" 2>&1 ||
  { cat "$tmp/local.log"; exit 1; }
expect "$tmp/local/etc/udev/rules.d/70-velora-lynt.rules"
absent "$tmp/local/usr/local/lib/udev"
expect "$tmp/local/usr/local/bin/lyntctl"

# The man pages render without a warning, and name what they document.
for page in velora lyntctl; do
  out=$(MANWIDTH=80 man --warnings -l "$p/share/man/man1/$page.1.gz" 2>"$tmp/man.err") ||
    fail "man $page failed"
  [ -s "$tmp/man.err" ] && { fail "man $page warns:"; cat "$tmp/man.err"; }
  grep -q "^NAME" <<<"$out" || fail "man $page has no NAME section"
done
# Every command lyntctl knows is in its man page: the words its help shows that it takes as a
# command ("lyntctl WORD --help" succeeds), against the tags of the page's command list.
lyntctl=$build/tools/lyntctl/lyntctl
man_tags=$(MANWIDTH=200 man -l "$p/share/man/man1/lyntctl.1.gz" 2>/dev/null | grep -E '^ {7}[^ ]' |
  tr ' |' '\n\n')
commands=0
for word in $("$lyntctl" --help | grep -oE '^ +[a-z][a-z-]*' | sort -u); do
  "$lyntctl" "$word" --help >/dev/null 2>&1 || continue
  commands=$((commands + 1))
  grep -qx -- "$word" <<<"$man_tags" || fail "lyntctl.1 lacks the command $word"
done
[ "$commands" -ge 10 ] || fail "only $commands commands found in lyntctl --help"

desktop-file-validate "$p/share/applications/velora.desktop" || fail "desktop entry invalid"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$p/share/metainfo/org.velora.Velora.metainfo.xml" >"$tmp/as.log" ||
    { cat "$tmp/as.log"; fail "metainfo invalid"; }
else
  echo "appstreamcli not installed (scripts/install-deps.sh deb): metainfo not validated"
fi

[ "$failures" -eq 0 ] && echo "install layout: all checks passed"
exit $((failures > 0))
