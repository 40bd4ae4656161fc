# Sourced by the scripts that build or run the Windows programs: decides which
# Windows build this machine can run under Wine and how to start Wine for it.
#
# The programs we ship are 32-bit. Wine runs them only where its 32-bit half
# (wine32:i386) is installed and the kernel can execute 32-bit code (the
# 32-bit loader is a 32-bit Linux program). Where either is missing, the
# tests run a 64-bit build of the same sources under Wine's 64-bit loader,
# in the same 64-bit prefix.
# NORVALE_ARCH=i686 or x86_64 in the environment overrides the choice.

# Empty when Wine's 32-bit loader runs here; otherwise why it does not.
norvale_no32_reason() {
  local out
  if [ ! -x /usr/lib/wine/wine ]; then
    echo "Wine's 32-bit loader is not installed (wine32:i386; tools/deps.sh says why)"
  elif ! out=$(timeout 30 /usr/lib/wine/wine --version 2>&1 >/dev/null); then
    case "$out" in
      *"Exec format error"*) echo "this kernel cannot run 32-bit programs (Exec format error)" ;;
      *) echo "Wine's 32-bit loader does not start: ${out:-no output}" | head -n 1 ;;
    esac
  fi
}

norvale_arch() {
  if [ -n "${NORVALE_ARCH:-}" ]; then
    echo "$NORVALE_ARCH"
  elif [ -z "$(norvale_no32_reason)" ]; then
    echo i686
  else
    echo x86_64
  fi
}

# Sets NORVALE_ARCH, the toolchain file and the Wine loader for that build.
# Scripts start Wine as `"$NORVALE_WINE" ...` (or through `command`): a shell
# function named wine that called "$NORVALE_WINE" would call itself when the
# loader is plain `wine`.
norvale_use_arch() {
  local root=$1
  NORVALE_ARCH=$(norvale_arch)
  export NORVALE_ARCH
  NORVALE_TOOLCHAIN="$root/cmake/mingw-$NORVALE_ARCH.cmake"
  if [ "$NORVALE_ARCH" = x86_64 ]; then
    NORVALE_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
  else
    NORVALE_WINE=/usr/bin/wine
  fi
}
