#!/usr/bin/env bash
# ./test.sh with a fake cmake and ctest first on PATH: a failed build and a
# failed test do not stop the stages after them, and the summary names what
# failed and why tests skipped, with the totals as the very last line.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/test-summary-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/tools" "$work/bin"
cp "$root/test.sh" "$work/tree/"
cp "$root/tools/testsupport.sh" "$root/tools/ctest_summary.py" "$work/tree/tools/"
printf '#!/bin/sh\nexit 0\n' >"$work/tree/tools/ensure-packages.sh"
# The win32 build fails; every other preset builds.
cat >"$work/bin/cmake" <<'FAKE'
#!/bin/sh
for a in "$@"; do [ "$a" = win32 ] && exit 1; done
exit 0
FAKE
# Per preset: asan has a failed test, default two skipped ones.
cat >"$work/bin/ctest" <<'FAKE'
#!/bin/bash
preset=$2 junit=$4
case=() status=0
pass() { case+=("<testcase name=\"$1\" status=\"run\"/>"); }
pass "$preset.one"
case $preset in
  asan) case+=("<testcase name=\"asan.two\" status=\"fail\"><failure message=\"\"/></testcase>"); status=8 ;;
  default)
    case+=("<testcase name=\"packaging.msi\" status=\"notrun\"><skipped message=\"SKIP_RETURN_CODE=77\"/><system-out>SKIPPED: no 32-bit code here</system-out></testcase>")
    case+=("<testcase name=\"Gtk.A11y\" status=\"notrun\"><skipped message=\"SKIP_REGULAR_EXPRESSION_MATCHED\"/><system-out>[ RUN      ] Gtk.A11y
x.cpp:9: Skipped
optional packages python3-pyatspi are not installed (E: gone)
[  SKIPPED ] Gtk.A11y (0 ms)</system-out></testcase>") ;;
esac
echo "ran ctest $preset" >&2
printf '<testsuite>%s</testsuite>\n' "${case[*]}" >"$junit"
exit $status
FAKE
chmod +x "$work/bin"/* "$work/tree/test.sh" "$work/tree/tools/ensure-packages.sh"

PATH="$work/bin:$PATH" OMENGLOBE_ASSUME_NO_32BIT=1 "$work/tree/test.sh" >"$work/out" 2>&1
status=$?
sed -n '/^== Summary/,$p' "$work/out"
failures=0
check() {
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
summary=$(sed -n '/^== Summary/,$p' "$work/out")
has() { grep -qF -- "$1" <<<"$summary"; }
check "the run fails" [ $status -ne 0 ]
check "the stages after a failed build and a failed test still run" \
  has "gtk-asan       1 passed, 0 failed, 0 skipped"
check "the failed build is a failure of its stage" has "win32 build    FAILED: the build failed"
check "the failed test is named" has "  failed: asan.two"
check "a script's skip reason is shown" has "skipped 1: no 32-bit code here (packaging.msi)"
check "a gtest skip reason is shown" \
  has "skipped 1: optional packages python3-pyatspi are not installed (E: gone) (Gtk.A11y)"
check "why 32-bit code cannot run is said" has "32-bit code    cannot run here (OMENGLOBE_ASSUME_NO_32BIT is set)"
check "the last line is the totals, the failed build counted" \
  [ "$(tail -1 "$work/out")" = "3 passed, 2 failed, 2 skipped" ]
((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
