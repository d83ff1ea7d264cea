#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12; quiet when everything is already there.
#
#   setup.sh              everything
#   setup.sh --host-tool  only what the host build of quorvane-code needs (make install)
set -euo pipefail

# Configuring the host build: the compilers, the test library it finds, python3
# for its test wiring, npm, which fetches the HTML parser's sources, and the
# libraries that read precompressed files (gzip, Brotli, Zstandard).
host_tool_packages=(make cmake ninja-build g++ googletest libgtest-dev patch python3 nodejs npm
                    zlib1g-dev libbrotli-dev libzstd-dev)
if [[ ${1:-} == --host-tool ]]; then
  packages=("${host_tool_packages[@]}")
else
  packages=(
    "${host_tool_packages[@]}"
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 libz-mingw-w64-dev
    wine wine64 xvfb xauth x11-apps imagemagick
    python3-pefile chromium publicsuffix groff-base time mkdocs mkdocs-material
    qemu-system-x86 debootstrap cpio locales
    clang-14 libclang-rt-14-dev llvm-14
  )
fi

missing=()
for p in "${packages[@]}"; do
  # nodejs and npm may come from elsewhere than Debian; a working node and npm are enough.
  if [[ $p == nodejs || $p == npm ]] && command -v "${p/nodejs/node}" >/dev/null 2>&1; then
    continue
  fi
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$p")
done

sudo=()
((EUID == 0)) || sudo=(sudo)
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[[ ${1:-} == --host-tool ]] && exit 0

# Wine takes the ANSI code page from the locale: the double-byte tests run
# under Japanese (932), Simplified Chinese (936) and Traditional Chinese (950).
# A locale that is not generated silently gives the Western code page 1252.
available=$(locale -a)
missing_locales=()
for l in ja_JP zh_CN zh_TW; do
  grep -qx "$l.utf8" <<<"$available" || missing_locales+=("$l")
done
if ((${#missing_locales[@]})); then
  echo "Generating locales: ${missing_locales[*]/%/.UTF-8}"
  for l in "${missing_locales[@]}"; do
    "${sudo[@]}" sed -i "s/^# *\($l\.UTF-8 UTF-8\)\$/\1/" /etc/locale.gen
    grep -qx "$l.UTF-8 UTF-8" /etc/locale.gen || echo "$l.UTF-8 UTF-8" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
  done
  "${sudo[@]}" locale-gen >/dev/null
fi

# The browser tests drive Debian's chromium through playwright-core and serve pages with Turbo and htmx,
# all pinned by the lock file. npm ci runs again whenever a package is missing or at another version than
# package.json names (each is pinned exactly), so a changed lock reaches machines set up before it.
browser_tests="$(dirname "$0")/../tests/browser"
if [[ -f $browser_tests/package-lock.json ]] && ! (cd "$browser_tests" && node -e '
  const { readFileSync } = require("fs");
  const wanted = JSON.parse(readFileSync("package.json", "utf8")).devDependencies;
  for (const [name, version] of Object.entries(wanted)) {
    try {
      if (JSON.parse(readFileSync(`node_modules/${name}/package.json`, "utf8")).version !== version) process.exit(1);
    } catch { process.exit(1); }
  }'); then
  (cd "$browser_tests" && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
