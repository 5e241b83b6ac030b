#!/usr/bin/env bash
# Shared set-up of run.sh and test.sh: Debian packages, then a Release build in build/.
set -euo pipefail

# xterm: the terminal emulator the SQL*Plus command starts the shell in. locales: the tests build
# a locale whose decimal mark is a comma. libboost-dev: Boost.Multiprecision's decimal type for EXP, LN,
# SIN and the other transcendental functions. tzdata: the time zone regions (/usr/share/zoneinfo).
PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libsqlite3-dev libsodium-dev
          libgtest-dev fonts-ipafont-gothic libedit-dev sqlite3 qt6-translations-l10n
          xterm locales libboost-dev tzdata)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -eq 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root, or install them with:"
    echo "  sudo apt-get install -y ${missing[*]}"
    exit 1
  fi
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)"
