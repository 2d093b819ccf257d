#!/usr/bin/env bash
# tools/ensure-packages.sh against a package system that fails the way
# mirrors fail: a fake apt-get, dpkg-query and dpkg first on PATH, a fake
# package database, and the log of what apt-get was asked to do.
set -uo pipefail
script=$(cd "$(dirname "$0")/../.." && pwd)/tools/ensure-packages.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/ensure-packages-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
failures=0
check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then echo "ok: $1"; else echo "FAILED: $1"; failures=$((failures + 1)); fi
}
has() { grep -qF -- "$2" "$1"; }
lacks() { ! grep -qF -- "$2" "$1"; }
count() { [[ $(grep -cF -- "$2" "$1") -eq $3 ]]; }

# The installed packages, one a line; the foreign architectures; the calls.
db=$work/installed arches=$work/arches calls=$work/calls
cat >"$work/bin/dpkg-query" <<FAKE
#!/bin/bash
for pkg in "\$@"; do
  [[ \$pkg == -* ]] && continue
  if grep -qx "\$pkg" "$db"; then printf '%s\tinstall ok installed\n' "\$pkg"
  else echo "dpkg-query: no packages found matching \$pkg" >&2; status=1; fi
done
exit \${status:-0}
FAKE
cat >"$work/bin/dpkg" <<FAKE
#!/bin/sh
case \$1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) cat "$arches" ;;
  --add-architecture) echo "add-architecture \$2" >>"$calls"; echo "\$2" >>"$arches" ;;
esac
FAKE
# FAKE_MIRROR_SYNC: every index refresh fails on one index. FAKE_BROKEN and
# FAKE_UNKNOWN: packages apt cannot install, and cannot find.
cat >"$work/bin/apt-get" <<FAKE
#!/bin/bash
pkgs=() mode=
for a in "\$@"; do
  case \$a in -o) ;; -*|DPkg::*|Acquire::*) ;; update|install) mode=\$a ;; *) pkgs+=("\$a") ;; esac
done
echo "\$mode \${pkgs[*]}" >>"$calls"
if [[ \$mode == update ]]; then
  [[ -n \${FAKE_MIRROR_SYNC:-} ]] || exit 0
  echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (50224 != 50264). Mirror sync in progress? [IP: 151.101.2.132 80]"
  echo "   Hashes of expected file:"
  echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
  exit 100
fi
for p in "\${pkgs[@]}"; do
  if [[ " \${FAKE_UNKNOWN:-} " == *" \$p "* ]]; then echo "E: Unable to locate package \$p"; exit 100; fi
  if [[ " \${FAKE_BROKEN:-} " == *" \$p "* ]]; then
    echo "The following packages have unmet dependencies:"
    echo " \$p : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
printf '%s\n' "\${pkgs[@]}" >>"$db"
FAKE
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*
: >"$db"; : >"$arches"; : >"$calls"
export PATH="$work/bin:$PATH" OMENGLOBE_PACKAGE_STATE="$work/state/missing" OMENGLOBE_APT_PAUSE=0
unset OMENGLOBE_REFRESH_INDEX
state=$OMENGLOBE_PACKAGE_STATE
groups=(--optional wine32=wine32:i386 --optional msi=msitools,wixl)

echo "== a mirror mid-sync, and a 32-bit package that cannot be installed"
FAKE_MIRROR_SYNC=1 FAKE_BROKEN=wine32:i386 "$script" "${groups[@]}" cmake g++ >"$work/out" 2>&1
status=$?
cat "$work/out"
check "the run goes on to the end" [ $status -eq 0 ]
check "the refresh is tried three times" count "$calls" "update" 3
check "the i386 architecture comes in before the first refresh" \
  [ "$(head -1 "$calls")" = "add-architecture i386" ]
check "the failed index is named in one line" \
  count "$work/out" "bookworm-security/main/binary-i386/Packages.xz (File has unexpected size (50224 != 50264). Mirror sync in progress?)" 1
check "the required packages are installed" has "$calls" "install cmake g++"
check "each optional group is installed on its own" has "$calls" "install msitools wixl"
check "the other optional group is installed" grep -qx wixl "$db"
check "the uninstallable group is reported with apt's reason" \
  has "$work/out" "optional wine32 (wine32:i386) not installed, the tests that need it will be skipped: wine32:i386 : Depends: libwine:i386"
check "the uninstallable group is recorded for the tests" \
  grep -qP '^wine32\twine32:i386\t.*you have held broken packages' "$state"
check "only the failed group is recorded" [ "$(wc -l <"$state")" -eq 1 ]

echo "== the same set-up again"
: >"$calls"
FAKE_MIRROR_SYNC=1 FAKE_BROKEN=wine32:i386 "$script" "${groups[@]}" cmake g++ >"$work/out" 2>&1
status=$?
check "it still succeeds" [ $status -eq 0 ]
check "it only tries the failed group again, without a second refresh" \
  [ "$(cat "$calls")" = "install wine32:i386" ]
echo wine32:i386 >>"$db"
: >"$calls"
"$script" "${groups[@]}" cmake g++ >"$work/out" 2>&1
check "with everything installed apt-get is not run at all" [ ! -s "$calls" ]
check "and the group installed since is no longer recorded" [ ! -e "$state" ]

echo "== a required package the mirror does not have"
: >"$calls"
FAKE_UNKNOWN=libomenglobe-dev "$script" --optional extra=lintian cmake libomenglobe-dev >"$work/out" 2>"$work/err"
status=$?
cat "$work/err"
check "the run stops with status 1" [ $status -eq 1 ]
check "one message names the package and apt's reason" \
  [ "$(cat "$work/err")" = "ensure-packages: cannot install the required package libomenglobe-dev: E: Unable to locate package libomenglobe-dev" ]
check "no optional group is tried after it" lacks "$calls" "lintian"

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
