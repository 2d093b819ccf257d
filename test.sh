#!/usr/bin/env bash
# Builds everything and runs every test: the Windows cross builds, the unit
# tests on the simulated platform under AddressSanitizer +
# UndefinedBehaviorSanitizer, the default preset (unit, end-to-end under Xvfb
# and Wine, accessibility, packaging, set-up), and the Linux program under
# the sanitizers. Installs the Debian packages it needs when they are missing.
#
# Every stage runs, whatever the one before it did. The end is a summary:
# one line per stage (with why its skipped tests skipped), then, last,
# "N passed, N failed, N skipped". The status is 0 only if nothing failed.
set -uo pipefail
cd "$(dirname "$0")"
export CMAKE_BUILD_PARALLEL_LEVEL="${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}"
source tools/testsupport.sh

# What the build and the core tests need; a missing one stops the run.
required=(
  cmake g++ build-essential dpkg-dev pkg-config python3 python3-gi file man-db
  libgtk-3-dev libgtk-3-bin fonts-liberation libgtest-dev googletest libjpeg-dev libpng-dev
  libx11-dev libxext-dev libxtst-dev xvfb xauth x11-utils x11-xserver-utils xdotool
  imagemagick openbox valgrind desktop-file-utils appstream
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64 icoutils
)
# What only some tests need; a group that cannot be installed skips them.
optional=(
  --optional wine32=wine32:i386                             # the shipped 32-bit program under Wine
  --optional msi=msitools,wixl,gir1.2-libmsi-1.0            # the Windows installer and its test
  --optional a11y=dbus-daemon,at-spi2-core,python3-pyatspi  # the Linux accessibility tests
  --optional deb=debhelper,lintian                          # the Debian package and reproducibility
  --optional orca=orca                                      # the test with the screen reader itself
  --optional xsettings=xsettingsd                           # the desktop's resolution changed while the program runs
)

summary=()  # "NAME<TAB>LINE"
passed=0 failed=0 skipped=0
note() { summary+=("$1"$'\t'"$2"); }

print_summary() {
  local entry
  echo
  echo "== Summary"
  for entry in "${summary[@]}"; do
    printf '%-14s %s\n' "${entry%%$'\t'*}" "${entry#*$'\t'}"
  done
  echo "$passed passed, $failed failed, $skipped skipped"
}

if ! tools/ensure-packages.sh "${optional[@]}" "${required[@]}"; then
  note packages "FAILED: a required package could not be installed (see above)"
  failed=$((failed + 1))
  print_summary
  exit 1
fi
state=build/missing-optional-packages
if [[ -s $state ]]; then
  while IFS=$'\t' read -r group packages reason; do
    note packages "optional $group ($packages) not installed: $reason"
  done <"$state"
else
  note packages "all installed"
fi
if why=$(thirty_two_bit_problem); then
  note "32-bit code" "cannot run here ($why): the Wine tests run the 64-bit build"
else
  note "32-bit code" "runs: the Wine tests run the shipped 32-bit program"
fi

build() {  # build PRESET
  cmake --preset "$1" && cmake --build --preset "$1"
}

build_stage() {  # build_stage NAME PRESET
  echo "== $1"
  if build "$2"; then
    note "$1" "built"
  else
    note "$1" "FAILED: the build failed (see above)"
    failed=$((failed + 1))
  fi
}

test_stage() {  # test_stage PRESET
  local junit=$PWD/build/test-logs/$1.xml status counts p f s kind a b c
  echo "== $1"
  if ! build "$1"; then
    note "$1" "FAILED: the build failed (see above), no test ran"
    failed=$((failed + 1))
    return
  fi
  mkdir -p build/test-logs
  rm -f "$junit"
  ctest --preset "$1" --output-junit "$junit"
  status=$?
  if [[ ! -s $junit ]]; then
    note "$1" "FAILED: ctest exited with status $status and reported no tests"
    failed=$((failed + 1))
    return
  fi
  mapfile -t counts < <(python3 tools/ctest_summary.py "$junit")
  read -r p f s <<<"${counts[0]}"
  # CTest failing with no failed test (no tests found, say) is a failure too.
  ((status != 0 && f == 0)) && f=1
  passed=$((passed + p)) failed=$((failed + f)) skipped=$((skipped + s))
  local line="$p passed, $f failed, $s skipped"
  ((f)) && line="FAILED: $line"
  note "$1" "$line"
  for entry in "${counts[@]:1}"; do
    IFS=$'\t' read -r kind a b c <<<"$entry"
    if [[ $kind == failed ]]; then
      note "" "  failed: $a"
    else
      note "" "  skipped $a: $b ($c)"
    fi
  done
}

# The Windows program: the 32-bit product, which the tests run under 32-bit
# Wine, and the same source built 64-bit, which they fall back to on machines
# that cannot run 32-bit code.
build_stage "win32 build" win32
build_stage "win64 build" win64
test_stage asan
test_stage default
# The Linux program itself under AddressSanitizer and UndefinedBehaviorSanitizer,
# driven by the end-to-end tests of what it does while running and ending.
test_stage gtk-asan

print_summary
((failed == 0))
