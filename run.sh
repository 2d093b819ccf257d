#!/usr/bin/env bash
# Builds the Linux program and starts it. Installs the Debian packages the
# build needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")"
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

tools/ensure-packages.sh cmake g++ pkg-config python3 libgtk-3-dev libjpeg-dev fonts-liberation

cmake --preset release >/dev/null
cmake --build --preset release
exec build/release/omenglobe "$@"
