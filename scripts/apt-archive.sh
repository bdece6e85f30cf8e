#!/bin/sh
# Prints the URI of the package archive this machine's apt already uses for a suite's
# main component, so that the scripts fetch from the same archive (a local mirror, a
# proxy, a snapshot) and the repository names none:
#
#   sh scripts/apt-archive.sh [<suite> [<apt configuration directory>]]
#
# The suite defaults to bookworm, the directory to /etc/apt. The first enabled `deb`
# entry that lists the suite and main wins, read in apt's order: sources.list, then
# sources.list.d/*.list (one-line entries) and *.sources (deb822 stanzas) by name.
# Exit status 1, with the reason on stderr, when no entry serves the suite.
set -eu
suite=${1:-bookworm}
etc=${2:-/etc/apt}

# apt reads sources.list, then the parts of sources.list.d in the order of their names.
set --
[ -f "$etc/sources.list" ] && set -- "$etc/sources.list"
for f in "$etc"/sources.list.d/*; do
  case "$f" in
    *.list | *.sources) [ -f "$f" ] && set -- "$@" "$f" ;;
  esac
done
[ $# -gt 0 ] || set -- /dev/null

uri=$(awk -v suite="$suite" '
  function has(list, word,   i, n, w) {
    n = split(list, w, /[ \t]+/)
    for (i = 1; i <= n; i++) if (w[i] == word) return 1
    return 0
  }
  function take(u) { if (found == "") found = u }
  # A deb822 stanza ends at a blank line or the end of its file.
  function stanza(   u) {
    if (has(f["types"], "deb") && has(f["suites"], suite) && has(f["components"], "main") &&
        tolower(f["enabled"]) !~ /^[ \t]*no/ && split(f["uris"], u, /[ \t]+/) > 1) take(u[2])
    split("", f)
    key = ""
  }
  FNR == 1 { if (deb822) stanza(); deb822 = FILENAME ~ /\.sources$/ }
  deb822 {
    if ($0 ~ /^#/) next
    if ($0 ~ /^[ \t]*$/) { stanza(); next }
    if ($0 ~ /^[ \t]/) { if (key != "") f[key] = f[key] " " $0; next }
    key = tolower(substr($0, 1, index($0, ":") - 1))
    f[key] = " " substr($0, index($0, ":") + 1)
    next
  }
  {
    # One-line entries: deb [options] URI suite component...; the options may hold spaces.
    line = $0
    sub(/#.*/, "", line)
    gsub(/\[[^]]*\]/, " ", line)
    n = split(line, w, /[ \t]+/)
    i = (w[1] == "") ? 2 : 1
    if (w[i] != "deb" || w[i + 2] != suite) next
    for (c = i + 3; c <= n; c++) if (w[c] == "main") take(w[i + 1])
  }
  END { if (deb822) stanza(); print found }
' "$@")
if [ -z "$uri" ]; then
  echo "apt-archive: no deb entry for $suite main in $etc/sources.list or $etc/sources.list.d" >&2
  exit 1
fi
# The URI as apt has it, less a trailing slash, so that callers can append paths.
echo "${uri%/}"
