#!/usr/bin/env bash
# Installs the Debian packages the build needs, only when some are missing.
# Usage: install-deps.sh [--ui] [--tests] [--numpy]
#   --ui     Qt 6 for the windows
#   --tests  the X server, fonts and tools of the screenshot tour and the README check
#   --numpy  numpy, for scripts/compare-python-reader.sh
set -euo pipefail
pkgs=(cmake g++ make pkg-config zlib1g-dev libgtest-dev libbenchmark-dev)
for arg in "$@"; do
  case "$arg" in
    --ui) pkgs+=(qt6-base-dev qt6-charts-dev qt6-pdf-dev libgl-dev) ;;
    --tests) pkgs+=(xvfb xauth xdotool fonts-dejavu-core) ;;
    --numpy) pkgs+=(python3-numpy) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [[ $(id -u) -ne 0 ]] && sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq "${missing[@]}"
fi
