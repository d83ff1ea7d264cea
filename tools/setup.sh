#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12; quiet when everything is already there.
set -euo pipefail

packages=(
  make cmake ninja-build g++ googletest libgtest-dev patch
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth x11-apps imagemagick
  python3 python3-pefile
  chromium nodejs npm
  qemu-system-x86 debootstrap cpio
  clang-14 libclang-rt-14-dev llvm-14
)

missing=()
for p in "${packages[@]}"; do
  # nodejs and npm may come from elsewhere than Debian; a working node and npm are enough.
  if [[ $p == nodejs || $p == npm ]] && command -v "${p/nodejs/node}" >/dev/null 2>&1; then
    continue
  fi
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  sudo=()
  ((EUID == 0)) || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The browser test drives Debian's chromium through playwright-core, pinned by its lock file.
browser_tests="$(dirname "$0")/../tests/browser"
if [[ -f $browser_tests/package-lock.json && ! -d $browser_tests/node_modules/playwright-core ]]; then
  (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
