# Sourced by the scripts that build or run the Windows programs: decides which
# Windows build this machine can run under Wine and how to start Wine for it.
#
# The programs we ship are 32-bit. Wine runs them only where the kernel can
# execute 32-bit code (its 32-bit loader is a 32-bit Linux program). Some
# kernels are built without that; there the tests run a 64-bit build of the
# same sources under Wine's 64-bit loader, in the same 64-bit prefix.
# NORVALE_ARCH=i686 or x86_64 in the environment overrides the choice.

norvale_arch() {
  if [ -n "${NORVALE_ARCH:-}" ]; then
    echo "$NORVALE_ARCH"
  elif [ -x /usr/lib/wine/wine ] && timeout 30 /usr/lib/wine/wine --version >/dev/null 2>&1; then
    echo i686
  else
    echo x86_64
  fi
}

# Sets NORVALE_ARCH, the toolchain file and the Wine loader for that build.
norvale_use_arch() {
  local root=$1
  NORVALE_ARCH=$(norvale_arch)
  export NORVALE_ARCH
  NORVALE_TOOLCHAIN="$root/cmake/mingw-$NORVALE_ARCH.cmake"
  if [ "$NORVALE_ARCH" = x86_64 ]; then
    NORVALE_WINE=/usr/lib/wine/wine64
    export WINELOADER=/usr/lib/wine/wine64
  else
    NORVALE_WINE=wine
  fi
}
