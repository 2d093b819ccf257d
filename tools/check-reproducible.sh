#!/usr/bin/env bash
# Builds the same source twice, in two different directories one after the
# other (with a different time zone and umask, the second from a read-only
# tree when this user may make a mount namespace), and compares what comes out:
# the Linux program (stripped), the Windows program, the Debian package and
# the Windows installer. Exits non-zero if any of them differ.
#
#   tools/check-reproducible.sh [OUTDIR]     (default build/reproducible)
#
# OUTDIR/a and OUTDIR/b keep each build's artefacts; OUTDIR/hashes.txt the
# hashes. DEB_BUILD_OPTIONS defaults to "nocheck parallel=2": the package's
# unit tests do not change its bytes.
set -euo pipefail
source "$(dirname "$0")/testsupport.sh"

# One build from TREE, its outputs in DEST, its build directories in BIN.
if [[ ${1:-} == --inner ]]; then
  tree=$2 bin=$3 dest=$4
  cd "$tree"
  cmake --preset release -B "$bin/release" >/dev/null
  cmake --build "$bin/release" >/dev/null
  strip -o "$dest/omenglobe" "$bin/release/omenglobe"
  cmake --preset win32 -B "$bin/win32" >/dev/null
  cmake --build "$bin/win32" >/dev/null
  cp "$bin/win32/omenglobe.exe" "$dest/"
  missing_optional msi >/dev/null || cp "$bin"/win32/omenglobe-*.msi "$dest/"
  tools/build-deb.sh "$dest" >"$dest/build-deb.log" 2>&1 ||
    { tail -40 "$dest/build-deb.log"; exit 1; }
  exit 0
fi

# Without the Debian packaging tools there is nothing to compare the .deb
# with; without the installer tools the .msi is left out, and said so.
if why=$(missing_optional deb); then
  echo "SKIPPED: $why"
  exit 77
fi
source_dir=$(cd "$(dirname "$0")/.." && pwd)
self="$source_dir/tools/$(basename "$0")"
out=${1:-$source_dir/build/reproducible}
mkdir -p "$out"
out=$(cd "$out" && pwd)
export DEB_BUILD_OPTIONS=${DEB_BUILD_OPTIONS:-nocheck parallel=2}
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}

work=$(mktemp -d "${TMPDIR:-/tmp}/omenglobe-repro.XXXXXX")
trap 'rm -rf "$work"' EXIT

build() {  # build NAME TREE [read-only]
  local name=$1 tree=$2 dest="$out/$1" bin="$work/$1-bin"
  rm -rf "$dest" && mkdir -p "$dest" "$tree" "$bin"
  tar -C "$source_dir" --exclude=./.git --exclude=./build --exclude='./build-*' \
      --exclude=./obj-\* -cf - . | tar -C "$tree" -xf -
  local ro_mount='mount --bind "$1" "$1" && mount -o remount,bind,ro "$1"'
  if [[ ${3:-} == read-only ]] && unshare -m bash -c "$ro_mount" _ "$tree" 2>/dev/null; then
    # The tree mounted read-only in a mount namespace of this build's own:
    # nothing may be written into the sources.
    echo "== build $name in $tree (read-only)"
    unshare -m bash -c "$ro_mount"' && exec "$2" --inner "$1" "$3" "$4"' \
      _ "$tree" "$self" "$bin" "$dest"
  else
    echo "== build $name in $tree${3:+ (cannot mount it read-only here)}"
    "$self" --inner "$tree" "$bin" "$dest"
  fi
}

build a "$work/first/omenglobe"
(umask 0002 && TZ=Pacific/Kiritimati build b "$work/second place, longer/src/omenglobe" read-only)

status=0
table="$out/hashes.txt"
printf '%-40s %-64s %s\n' artefact "first build (sha256)" "second build" >"$table"
artefacts=(omenglobe omenglobe.exe "$(cd "$out/a" && ls omenglobe_*.deb)")
if why=$(missing_optional msi); then
  echo "the .msi is not compared: $why"
else
  artefacts+=("$(cd "$out/a" && ls omenglobe-*.msi)")
fi
for f in "${artefacts[@]}"; do
  ha=$(sha256sum "$out/a/$f" | cut -d' ' -f1)
  hb=$(sha256sum "$out/b/$f" | cut -d' ' -f1)
  verdict=same
  if [[ $ha != "$hb" ]]; then
    verdict=DIFFERENT
    status=1
  fi
  printf '%-40s %s\n%-40s %s  %s\n' "$f" "$ha" "" "$hb" "$verdict" >>"$table"
done
cat "$table"
exit $status
