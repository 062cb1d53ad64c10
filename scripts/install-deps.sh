#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need.
# Packages already present are skipped; apt-get update runs only when
# something has to be installed.
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libgtest-dev libbenchmark-dev
  libsdl2-dev
  xvfb xdotool x11-apps imagemagick
  g++-mingw-w64-x86-64
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

command="apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them as root with:" >&2
  echo "  sudo sh -c '$command'" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
sh -c "$command"
