#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian 12 machine, or,
# given package names, those packages instead:
#   tools/deps.sh [PACKAGE...]
# Idempotent: when everything is present it only checks and returns.
#
# A mirror in mid-sync must not stop a newcomer: a package index that fails
# to download is retried once and then the run goes on with what apt has.
# Everything installable is installed. Wine's 32-bit half (wine32:i386) is
# the one package the tests can do without: when its i386 libraries cannot
# match the amd64 ones already installed, it is left out, the reason is said
# in one line, and the tests run the 64-bit build (tools/wine-arch.sh).
set -euo pipefail

need=(g++-mingw-w64-i686-posix mingw-w64-i686-dev
      g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev cmake make googletest
      libz-mingw-w64-dev python3-pyftpdlib python3-fonttools locales wine wine32 wine64
      xvfb xauth)
[ $# -eq 0 ] || need=("$@")

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

missing=()
for p in "${need[@]}"; do
  arch_p=$p
  [ "$p" = wine32 ] && arch_p=wine32:i386
  installed "$arch_p" || missing+=("$arch_p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
apt_install=(apt-get install -y -qq --no-install-recommends)

if [[ " ${missing[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi

if ! $SUDO apt-get update -qq >/dev/null 2>&1; then
  sleep 5
  if ! update_err=$($SUDO apt-get update -qq 2>&1 >/dev/null); then
    first=$(printf '%s\n' "$update_err" | grep -m1 '^E:' || true)
    echo "warning: the package index was only partly updated (${first:-apt-get update failed}); installing from what apt has" >&2
  fi
fi

# An install that an earlier run lost half-way leaves packages unpacked but
# not configured; apt refuses to work until they are.
$SUDO dpkg --configure -a >/dev/null 2>&1 || true

# The first line of apt's answer that says why a package cannot go in.
why_not() {
  apt-get install -s --no-install-recommends "$@" 2>&1 \
    | grep -m1 -E 'Depends:|Unable to locate|has no installation candidate|^E:' \
    | sed -E 's/^[[:space:]]+//; s/[[:space:]]+/ /g' || true
}

# Decide before installing anything, so that a package that cannot go in
# never leaves the others half-done.
installable=("${missing[@]}")
refused=()
if ! apt-get install -s --no-install-recommends "${missing[@]}" >/dev/null 2>&1; then
  installable=()
  for p in "${missing[@]}"; do
    if apt-get install -s --no-install-recommends "$p" >/dev/null 2>&1; then
      installable+=("$p")
    else
      refused+=("$p")
    fi
  done
fi

if [ ${#installable[@]} -gt 0 ]; then
  $SUDO "${apt_install[@]}" "${installable[@]}" >/dev/null 2> >(grep -v '^debconf: delaying' >&2)
fi

status=0
for p in ${refused[@]+"${refused[@]}"}; do
  reason=$(why_not "$p")
  if [ "$p" = wine32:i386 ]; then
    echo "note: wine32:i386 cannot be installed: its i386 libraries must carry the versions of the amd64 ones installed, and this package index has no match (${reason:-apt gave no reason}); the tests use the 64-bit build" >&2
  else
    echo "error: $p cannot be installed (${reason:-no reason given})" >&2
    status=1
  fi
done
exit $status
