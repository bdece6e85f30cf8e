#!/bin/sh
# A program's help as help2man reads it: runs `<program> <option>` and restates the help
# in GNU's layout, its words unchanged: "Usage:" with "  or:  " before each further form,
# and a summary indented under its command as that command's tagged paragraph.
#
#   help2man ... "sh cmake/man-help.sh <program>"
set -eu
"$1" "$2" | awk '
  NR == 1 && sub(/^usage:/, "Usage:") { usage = 1; print; next }
  usage && /^ +[^ ]/ { sub(/^ +/, "  or:  "); print; next }
  { usage = 0 }
  /^      [^ ]/ { sub(/^ +/, "                    ") }
  { print }'
