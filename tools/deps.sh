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
#
# Such a verdict holds as long as the package index it was reached against:
# it is kept in the build folder (NORVALE_BUILD, default build/), and while
# the index is unchanged and less than a day old, a run that misses only what
# was found uninstallable neither updates the index nor asks apt again.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
settled=${NORVALE_BUILD:-$root/build}/.deps-settled
apt_lists=${NORVALE_APT_LISTS:-/var/lib/apt/lists}

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

# What apt's index is now: its files' names, sizes and times.
index_state() {
  { dpkg --print-foreign-architectures 2>/dev/null || true
    find "$apt_lists" -maxdepth 1 -type f -printf '%f %s %T@\n' 2>/dev/null | sort
  } | cksum | cut -d' ' -f1
}

# Every missing package was found uninstallable against this very index.
if [ -f "$settled" ] && [ -n "$(find "$settled" -mmin -1440 2>/dev/null)" ] &&
   [ "$(sed -n 's/^index=//p' "$settled")" = "$(index_state)" ]; then
  unsettled=0
  for p in "${missing[@]}"; do
    grep -qxF "refused=$p" "$settled" || unsettled=1
  done
  if [ $unsettled -eq 0 ]; then
    sed -n 's/^note=//p' "$settled" >&2
    exit 0
  fi
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

status=0
# Packages that each go in alone may still exclude each other: the first of
# such a pair is installed, the second is named with the first.
if [ ${#installable[@]} -gt 1 ] &&
   ! apt-get install -s --no-install-recommends "${installable[@]}" >/dev/null 2>&1; then
  together=()
  for p in "${installable[@]}"; do
    if apt-get install -s --no-install-recommends ${together[@]+"${together[@]}"} "$p" \
        >/dev/null 2>&1; then
      together+=("$p")
      continue
    fi
    partner=
    for q in ${together[@]+"${together[@]}"}; do
      if ! apt-get install -s --no-install-recommends "$q" "$p" >/dev/null 2>&1; then
        partner=$q
        break
      fi
    done
    reason=$(why_not ${together[@]+"${together[@]}"} "$p")
    echo "error: $p cannot be installed together with ${partner:-the others} (${reason:-no reason given})" >&2
    status=1
  done
  installable=(${together[@]+"${together[@]}"})
fi

if [ ${#installable[@]} -gt 0 ]; then
  $SUDO "${apt_install[@]}" "${installable[@]}" >/dev/null 2> >(grep -v '^debconf: delaying' >&2)
fi

notes=()
for p in ${refused[@]+"${refused[@]}"}; do
  reason=$(why_not "$p")
  if [ "$p" = wine32:i386 ]; then
    notes+=("note: wine32:i386 cannot be installed: its i386 libraries must carry the versions of the amd64 ones installed, and this package index has no match (${reason:-apt gave no reason}); the tests use the 64-bit build")
    echo "${notes[-1]}" >&2
  else
    echo "error: $p cannot be installed (${reason:-no reason given})" >&2
    status=1
  fi
done

# What an earlier run settled and this one did not ask for stays settled
# while it still cannot go in from the index as it now is.
if [ -f "$settled" ]; then
  while IFS= read -r line; do
    case $line in refused=*) p=${line#refused=} ;; *) continue ;; esac
    [[ " ${refused[*]-} " == *" $p "* ]] && continue
    installed "$p" && continue
    apt-get install -s --no-install-recommends "$p" >/dev/null 2>&1 && continue
    refused+=("$p")
    notes+=("$(grep -m1 -F "note=note: $p " "$settled" | sed 's/^note=//')")
  done <"$settled"
fi

# Only a run that ended with nothing but the expected gap is remembered.
rm -f "$settled"
if [ $status -eq 0 ] && [ ${#refused[@]} -gt 0 ] && mkdir -p "$(dirname "$settled")" 2>/dev/null; then
  { echo "index=$(index_state)"
    for p in "${refused[@]}"; do echo "refused=$p"; done
    for n in "${notes[@]}"; do echo "note=$n"; done
  } >"$settled" 2>/dev/null || rm -f "$settled"
fi
exit $status
