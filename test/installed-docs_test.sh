#!/bin/sh
# What an install (and so the .deb, which cpack makes from it) gives a user to read:
# `man corvantis` and `man corvantis-cell` find gzipped pages that say everything the
# programs' --help says, and share/doc/corvantis holds the copyright file, naming the
# licence, and the README.
#
#   sh test/installed-docs_test.sh <Linux build directory> <source directory>
set -eu
build=$1
src=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/usr" >/dev/null
export LC_ALL=C MANPATH="$work/usr/share/man" MANWIDTH=100
failed=0
fail() {
  echo "FAIL $*" >&2
  failed=1
}
flat() { tr -s ' \t\n' '   '; }

for program in corvantis corvantis-cell; do
  page=$(man -w "$program" 2>/dev/null) || { fail "man -w $program finds no page"; continue; }
  [ "$page" = "$MANPATH/man1/$program.1.gz" ] || fail "man -w $program gives $page"
  gzip -t "$page" 2>/dev/null || fail "$page is not gzipped"
  text=$(man --nh --nj "$program" 2>/dev/null | col -b | flat)
  # Each line of the help, less its "usage:" and headings, is in the page as it stands.
  "$build/$program" --help | sed 's/^usage://; /^[a-z]*:$/d' | while IFS= read -r line; do
    line=$(printf '%s' "$line" | flat | sed 's/^ //; s/ $//')
    [ -z "$line" ] && continue
    case "$text" in
      *"$line"*) ;;
      *) echo "FAIL man $program lacks: $line" >&2; echo x >>"$work/missing" ;;
    esac
  done
  case "$text" in
    *"$program - "*) ;;
    *) fail "man $program has no NAME line: $text" ;;
  esac
done
[ -f "$work/missing" ] && failed=1

doc=$work/usr/share/doc/corvantis
grep -q '^License: ' "$doc/copyright" 2>/dev/null || fail "no copyright file naming a licence in $doc"
zcat "$doc/README.md.gz" 2>/dev/null | cmp -s - "$src/README.md" || fail "no README.md.gz in $doc"

[ "$failed" -eq 0 ] && echo "installed-docs: man pages and $doc as a user reads them"
exit "$failed"
