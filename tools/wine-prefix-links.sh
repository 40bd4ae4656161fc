#!/usr/bin/env bash
# Keeps a Wine prefix from reaching the host's files:
#   tools/wine-prefix-links.sh PREFIX          check only
#   tools/wine-prefix-links.sh PREFIX --fix    first replace links to folders
#                                              outside the prefix with folders
# A fresh prefix links Desktop, Documents, Downloads, Music, Pictures, Videos
# and Templates to the host user's home; a test that writes a shortcut to the
# desktop, or an uninstaller test that deletes from it, would act there.
# Fails loudly when any link inside drive_c still leads outside the prefix.
set -euo pipefail

prefix=$(cd "${1:?usage: wine-prefix-links.sh PREFIX [--fix]}" && pwd -P)
fix=${2:-}
drive_c="$prefix/drive_c"
[ -d "$drive_c" ] || { echo "wine-prefix-links: no drive_c in $prefix" >&2; exit 1; }

outside() {  # true when the link's final target lies outside the prefix
  local target
  target=$(readlink -m -- "$1")
  case "$target" in
    "$prefix"|"$prefix"/*) return 1 ;;
    *) return 0 ;;
  esac
}

if [ "$fix" = --fix ]; then
  while IFS= read -r -d '' link; do
    if outside "$link"; then
      # A link to a file outside is not something Wine makes; leave it for
      # the check below to report rather than guess what it should be.
      if [ -d "$link" ] || [ ! -e "$link" ]; then
        rm -f -- "$link"
        mkdir -p -- "$link"
      fi
    fi
  done < <(find "$drive_c" -type l -print0)
fi

status=0
while IFS= read -r -d '' link; do
  if outside "$link"; then
    echo "wine-prefix-links: $link leads outside the prefix to $(readlink -m -- "$link")" >&2
    status=1
  fi
done < <(find "$drive_c" -type l -print0)
exit $status
