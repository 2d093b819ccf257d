#!/usr/bin/env bash
# Builds everything and runs every test: the unit tests on the simulated
# platform (plain and under AddressSanitizer + UndefinedBehaviorSanitizer),
# the Linux program end to end under Xvfb, and the Windows program under Wine.
# Installs the Debian packages it needs when they are missing.
set -euo pipefail
cd "$(dirname "$0")"
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"

tools/ensure-packages.sh \
  cmake g++ pkg-config python3 libgtk-3-dev fonts-liberation libgtest-dev googletest libjpeg-dev \
  xvfb xauth x11-utils x11-xserver-utils xdotool imagemagick openbox \
  libx11-dev libxext-dev libxtst-dev libpng-dev \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 wine32:i386 icoutils file \
  valgrind dbus-daemon at-spi2-core python3-pyatspi orca \
  build-essential debhelper dpkg-dev lintian desktop-file-utils appstream msitools wixl \
  gir1.2-libmsi-1.0 python3-gi libgtk-3-bin man-db

# The Windows program: the 32-bit product, which the tests run under 32-bit
# Wine, and the same source built 64-bit, which they fall back to on machines
# that cannot run 32-bit code.
cmake --preset win32
cmake --build --preset win32
cmake --preset win64
cmake --build --preset win64

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

cmake --preset default
cmake --build --preset default
ctest --preset default

# The Linux program itself under AddressSanitizer and UndefinedBehaviorSanitizer,
# driven by the end-to-end tests of what it does while running and ending.
cmake --preset gtk-asan
cmake --build --preset gtk-asan
ctest --preset gtk-asan
