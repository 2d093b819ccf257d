#!/usr/bin/env bash
# Builds the Debian package omenglobe_<version>_<arch>.deb (and its .changes,
# .buildinfo and debug symbols) into OUTDIR, default build/deb.
#
#   tools/build-deb.sh [OUTDIR]
#
# The source tree is only read: it is copied into a fresh directory (whose
# path has a space, which the build must cope with) and dpkg-buildpackage
# runs there, so its outputs never land beside the checkout.
# DEB_BUILD_OPTIONS is passed through (e.g. nocheck, parallel=2).
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$source_dir/build/deb}
mkdir -p "$out"
out=$(cd "$out" && pwd)

work=$(mktemp -d "${TMPDIR:-/tmp}/omenglobe deb.XXXXXX")
trap 'rm -rf "$work"' EXIT
version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
tree="$work/omenglobe-${version%-*}"
mkdir "$tree"
# What the package is built from: the checkout without its builds and VCS.
tar -C "$source_dir" --exclude=./.git --exclude=./build --exclude='./build-*' \
    --exclude=./obj-\* -cf - . | tar -C "$tree" -xf -

(cd "$tree" && dpkg-buildpackage -us -uc -b)
find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.changes' -o -name '*.buildinfo' \) \
    -exec cp -t "$out" {} +
ls -1 "$out"
