#!/usr/bin/env bash
# Builds the same source twice, in two different directories one after the
# other (with a different time zone and umask), and compares what comes out:
# the Linux program (stripped), the Windows program, the Debian package and
# the Windows installer. Exits non-zero if any of the first three differ;
# the installer is reported but not required (wixl writes a fresh package
# code and the current time into it).
#
#   tools/check-reproducible.sh [OUTDIR]     (default build/reproducible)
#
# OUTDIR/a and OUTDIR/b keep each build's artefacts; OUTDIR/hashes.txt the
# hashes. DEB_BUILD_OPTIONS defaults to "nocheck parallel=2": the package's
# unit tests do not change its bytes.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$source_dir/build/reproducible}
mkdir -p "$out"
out=$(cd "$out" && pwd)
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-nocheck parallel=2}
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

work=$(mktemp -d "${TMPDIR:-/tmp}/omenglobe-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

build() {  # build NAME TREE
  local name=$1 tree=$2 dest="$out/$1"
  rm -rf "$dest" && mkdir -p "$dest" "$tree"
  tar -C "$source_dir" --exclude=./.git --exclude=./build --exclude='./build-*' \
      --exclude=./obj-\* -cf - . | tar -C "$tree" -xf -
  echo "== build $name in $tree"
  (
    cd "$tree"
    cmake --preset release >/dev/null
    cmake --build --preset release >/dev/null
    strip -o "$dest/omenglobe" build/release/omenglobe
    cmake --preset win32 >/dev/null
    cmake --build --preset win32 >/dev/null
    cp build/win32/omenglobe.exe build/win32/omenglobe-*.msi "$dest/"
    tools/build-deb.sh "$dest" >"$dest/build-deb.log" 2>&1 ||
      { tail -40 "$dest/build-deb.log"; exit 1; }
  )
}

build a "$work/first/omenglobe"
(umask 0002 && TZ=Pacific/Kiritimati build b "$work/second place, longer/src/omenglobe")

status=0
{
  printf '%-40s %-64s %s\n' artefact "first build (sha256)" "second build"
  for f in omenglobe omenglobe.exe "$(cd "$out/a" && ls omenglobe_*.deb)" \
           "$(cd "$out/a" && ls omenglobe-*.msi)"; do
    ha=$(sha256sum "$out/a/$f" | cut -d' ' -f1)
    hb=$(sha256sum "$out/b/$f" | cut -d' ' -f1)
    verdict=same
    if [[ $ha != "$hb" ]]; then
      verdict=DIFFERENT
      [[ $f == *.msi ]] && verdict="different (not required)" || status=1
    fi
    printf '%-40s %s\n%-40s %s  %s\n' "$f" "$ha" "" "$hb" "$verdict"
  done
} | tee "$out/hashes.txt"
exit $status
