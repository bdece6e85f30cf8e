#!/bin/sh
# scripts/apt-archive.sh finds the archive apt itself would use: on sample configurations
# in both formats, each case's answer written out and held against apt's own reading of
# the same files (apt-get indextargets), and on this machine's sources.
#
#   sh test/apt-archive_test.sh <source directory>
set -eu
script=$1/scripts/apt-archive.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# The (URI suite component) triples of the deb entries apt reads from a configuration.
apt_reads() {
  apt-get -o Dir::Etc::sourcelist="$1/sources.list" -o Dir::Etc::sourceparts="$1/sources.list.d" \
    indextargets --no-release-info --format '$(TARGET_OF) $(REPO_URI) $(RELEASE) $(COMPONENT)' |
    sed -n 's/^deb //p' | sed 's,/ , ,' | sort -u
}

# check <case> <suite> <expected URI, or "-" for none>; the files are in $work/<case>.
check() {
  got=$(sh "$script" "$2" "$work/$1" 2>"$work/err") || got="- $(cat "$work/err")"
  case "$3 $got" in
    "- - apt-archive: no deb entry for $2 main"*) ;;
    "$3 $3") apt_reads "$work/$1" | grep -qxF "$got $2 main" ||
      { echo "FAIL $1 ($2): apt reads no deb entry $got $2 main" >&2; failed=1; } ;;
    *) echo "FAIL $1 ($2): printed '$got', wanted '$3'" >&2; failed=1 ;;
  esac
}

# sample <case> <file under the case's directory>: the file's text on stdin.
sample() {
  mkdir -p "$work/$1/sources.list.d"
  cat >"$work/$1/$2"
}

sample deb822 sources.list.d/debian.sources <<'EOF'
# sources first, then a disabled entry, then the one to use
Types: deb-src
URIs: file:/srv/src/debian
Suites: bookworm
Components: main

Types: deb
URIs: file:/srv/off/debian
Suites: bookworm
Components: main
Enabled: no

types: deb deb-src
URIs:
 http://192.0.2.10/debian/
 file:/srv/second/debian
Suites: bookworm-updates
  bookworm
Components: contrib main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb
URIs: file:/srv/security/debian-security
Suites: bookworm-security
Components: main
EOF
check deb822 bookworm http://192.0.2.10/debian
check deb822 bookworm-security file:/srv/security/debian-security
check deb822 sid -

sample one-line sources.list <<'EOF'
deb-src file:/srv/src/debian bookworm main
# deb file:/srv/commented/debian bookworm main
deb file:/srv/updates/debian bookworm-updates main
deb file:/srv/contrib/debian bookworm contrib
deb [ arch=amd64 signed-by=/usr/share/keyrings/debian-archive-keyring.gpg ] file:/srv/mirror/ bookworm contrib main # local
EOF
check one-line bookworm file:/srv/mirror
check one-line bookworm-updates file:/srv/updates/debian

# sources.list before its parts, and the parts by name whatever their format.
sample order sources.list <<'EOF'
deb file:/srv/list/debian bookworm-updates main
EOF
sample order sources.list.d/b.sources <<'EOF'
Types: deb
URIs: file:/srv/b/debian
Suites: bookworm bookworm-updates
Components: main
EOF
sample order sources.list.d/a.list <<'EOF'
deb file:/srv/a/debian bookworm main
EOF
sample order sources.list.d/c.list.disabled <<'EOF'
deb file:/srv/c/debian bookworm-security main
EOF
check order bookworm file:/srv/a/debian
check order bookworm-updates file:/srv/list/debian
check order bookworm-security -

mkdir -p "$work/empty"
check empty bookworm -

# This machine: the answer is an entry apt reads for bookworm main, or there is none.
got=$(sh "$script" 2>/dev/null) || got=-
machine=$(apt_reads /etc/apt | sed -n 's/ bookworm main$//p')
case "$got" in
  -) [ -z "$machine" ] || { echo "FAIL machine: no answer, but apt reads $machine" >&2; failed=1; } ;;
  *) echo "$machine" | grep -qxF "$got" ||
       { echo "FAIL machine: printed '$got', apt reads '$machine'" >&2; failed=1; } ;;
esac

[ "$failed" -eq 0 ] && echo "apt-archive: every case as apt reads it (this machine: $got)"
exit "$failed"
