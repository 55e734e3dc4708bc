#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools need,
# only when some are missing.
set -euo pipefail

packages=(build-essential cmake ninja-build pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
          libpugixml-dev libcurl4-openssl-dev libcli11-dev libcrypt-dev
          libicu-dev libhowardhinnant-date-dev tzdata
          libical-dev)  # libical: the tests compare recurrence expansions with it
if [[ "${1:-}" == "--tests" ]]; then
  packages+=(glusterfs-server glusterfs-client clang python3)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
