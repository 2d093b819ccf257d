#!/usr/bin/env bash
# Runs the whole end-to-end suite (the Linux program under Xvfb and the
# Windows program under Wine) three times in a row while two CPU hogs keep
# both cores busy, as on a loaded CI machine, and prints each run's time.
# Build first (./test.sh, or the default, win32 and win64 presets).
#
#   tools/stress-e2e.sh [runs]      # default 3
#
# Exit status 0 only when every run passed.
set -uo pipefail
cd "$(dirname "$0")/.."
runs="${1:-3}"

hogs=()
stop_hogs() {
  for pid in "${hogs[@]}"; do kill "$pid" 2>/dev/null; done
  for pid in "${hogs[@]}"; do wait "$pid" 2>/dev/null; done
  hogs=()
}
trap stop_hogs EXIT

if command -v stress-ng >/dev/null; then
  stress-ng --cpu 2 --quiet &
  hogs+=("$!")
  load="stress-ng --cpu 2"
else
  for _ in 1 2; do
    (while :; do :; done) &
    hogs+=("$!")
  done
  load="two busy loops"
fi
echo "load: $load"

failed=0
for ((run = 1; run <= runs; run++)); do
  log="build/default/stress-e2e-run$run.log"
  started=$(date +%s%N)
  if ctest --preset default -L '^(e2e|wine)$' --output-on-failure >"$log" 2>&1; then
    result=passed
  else
    result=FAILED
    failed=1
  fi
  seconds=$((($(date +%s%N) - started) / 1000000000))
  summary=$(grep -E 'tests passed|tests failed' "$log" | tail -1)
  printf 'run %d: %s in %d s (%s), log %s\n' "$run" "$result" "$seconds" "$summary" "$log"
  grep -E '^\s+[0-9]+ - ' "$log" | sed 's/^/    /'
done
exit "$failed"
