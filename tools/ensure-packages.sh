#!/usr/bin/env bash
# Installs the Debian packages named on the command line that are missing.
# Names with an ":i386" suffix bring the i386 architecture in first.
set -euo pipefail

missing=()
for pkg in "$@"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=""
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "need root (or sudo) to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
if printf '%s\n' "${missing[@]}" | grep -q ':i386$' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
# Waits for another package manager run instead of failing on its lock.
lock=(-o DPkg::Lock::Timeout=900)
$sudo apt-get "${lock[@]}" update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
