#!/usr/bin/env bash
# Installs the Debian packages that are missing.
#
#   tools/ensure-packages.sh [--optional GROUP=PKG,PKG...]... REQUIRED_PKG...
#
# The packages named plainly are required: if one cannot be installed the
# script stops with apt's own reason, and exits 1. Each optional group is
# installed by an apt-get call of its own, so that a group that cannot be
# installed (a 32-bit package whose other half the mirror has not caught up
# with, say) holds up nothing else; it is reported in one line and recorded
# in the state file, where the tests that need it find why they must skip.
# Names with an ":i386" suffix bring the i386 architecture in first.
#
# The package index is refreshed only when something is missing (always when
# OMENGLOBE_REFRESH_INDEX=always; not again within the hour when only optional
# groups that failed before are missing), tried a few times with a growing pause;
# indexes that still fail are named in one line and the install goes on with
# the indexes there are.
#
# Environment:
#   OMENGLOBE_PACKAGE_STATE   the state file (default build/missing-optional-packages)
#   OMENGLOBE_REFRESH_INDEX   "always": refresh even when nothing is missing
#   OMENGLOBE_APT_PAUSE       seconds before the second refresh (default 5),
#                             doubled before each further one
set -uo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
state=${OMENGLOBE_PACKAGE_STATE:-$root/build/missing-optional-packages}
attempts=3
pause=${OMENGLOBE_APT_PAUSE:-5}
# Waits for another package manager run instead of failing on its lock.
apt_options=(-o DPkg::Lock::Timeout=900 -o Acquire::Retries=2)

say() { echo "ensure-packages: $*"; }

required=()
groups=()  # "name=pkg,pkg"
while (($#)); do
  case $1 in
    --optional) groups+=("$2"); shift 2 ;;
    --optional=*) groups+=("${1#--optional=}"); shift ;;
    *) required+=("$1"); shift ;;
  esac
done

native=$(dpkg --print-architecture 2>/dev/null || echo amd64)
missing_of() {  # prints the missing ones of the packages given, in one dpkg-query
  (($#)) || return 0
  dpkg-query -W -f='${binary:Package}\t${Status}\n' "$@" 2>/dev/null |
    awk -F'\t' -v native="$native" '
      FNR == NR { asked[$0] = 1; order[++n] = $0; next }
      $2 == "install ok installed" { sub(":" native "$", "", $1); ok[$1] = 1 }
      END { for (i = 1; i <= n; i++) { key = order[i]; sub(":" native "$", "", key); if (!ok[key]) print order[i] } }
    ' <(printf '%s\n' "$@") -
}

# The state file: one line per optional group that could not be installed,
# "GROUP<TAB>PACKAGES<TAB>REASON". Groups named in this run are rewritten;
# lines of other groups stay.
record() {  # record GROUP PACKAGES [REASON]: no reason clears the group
  local group=$1 packages=$2 reason=${3:-} tmp
  [[ -z "$reason" && ! -f "$state" ]] && return 0
  mkdir -p "$(dirname "$state")"
  tmp=$(mktemp "$state.XXXXXX")
  [[ -f "$state" ]] && awk -F'\t' -v g="$group" '$1 != g' "$state" >"$tmp"
  [[ -n "$reason" ]] && printf '%s\t%s\t%s\n' "$group" "$packages" "$reason" >>"$tmp"
  if [[ -s "$tmp" ]]; then mv "$tmp" "$state"; else rm -f "$tmp" "$state"; fi
}

# apt's reason in one line: the unmet dependencies it names and its errors.
apt_reason() {
  grep -E '^E: |^ [^ ].* : (Depends|PreDepends|Conflicts|Breaks): ' "$1" |
    sed -E 's/^ +//' | awk 'NR > 1 { printf "; " } { printf "%s", $0 } END { print "" }'
}

# Which indexes a failed refresh did not get, in one line.
failed_indexes() {
  local names
  names=$(grep -E 'Failed to fetch' "$1" |
          sed -E 's/.*Failed to fetch +([^ ]+) *(.*)$/\1|\2/; s# *\[IP: [^]]*\]##;
                  s#^[a-z+]+://[^|]*/dists/##; s#\|$##; s#\|(.*)# (\1)#' |
          awk 'NR > 1 { printf ", " } { printf "%s", $0 } END { print "" }')
  if [[ -n "$names" ]]; then echo "$names"; else apt_reason "$1"; fi
}

sudo=""
need_root() {
  [[ $(id -u) -eq 0 ]] && return 0
  command -v sudo >/dev/null || { say "need root (or sudo) to install: $*" >&2; exit 1; }
  sudo="sudo"
}

log=$(mktemp "${TMPDIR:-/tmp}/ensure-packages.XXXXXX")
trap 'rm -f "$log"' EXIT

# When the last refresh was made by this script, so that a run that only
# tries again an optional group that failed does not refresh again for an hour.
stamp=$(dirname "$state")/.package-index-refreshed

refresh_index() {
  local try wait=$pause
  if ((${#missing_required[@]} == 0)) && [[ ${OMENGLOBE_REFRESH_INDEX:-} != always ]] &&
     [[ -n $(find "$stamp" -mmin -60 2>/dev/null) ]]; then
    return 0
  fi
  mkdir -p "$(dirname "$stamp")" && touch "$stamp"
  for ((try = 1; try <= attempts; try++)); do
    if $sudo apt-get "${apt_options[@]}" update -qq >"$log" 2>&1; then
      # apt can succeed while naming indexes it kept from before.
      if grep -q 'Failed to fetch' "$log"; then
        say "package index refresh left out: $(failed_indexes "$log"); going on with the indexes there are"
      fi
      return 0
    fi
    if ((try < attempts)); then
      sleep "$wait"
      wait=$((wait * 2))
    fi
  done
  say "package index refresh failed $attempts times, left out: $(failed_indexes "$log"); going on with the indexes there are"
}

install() {  # install PKG...: apt's output in $log
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "${apt_options[@]}" install -y -qq \
    --no-install-recommends "$@" >"$log" 2>&1
}

mapfile -t missing_required < <(missing_of "${required[@]}")
missing_groups=()  # "name=pkg,pkg" with only the missing packages
for group in "${groups[@]}"; do
  name=${group%%=*}
  IFS=, read -r -a packages <<<"${group#*=}"
  mapfile -t missing < <(missing_of "${packages[@]}")
  if ((${#missing[@]})); then
    missing_groups+=("$name=$(IFS=,; echo "${missing[*]}")")
  else
    record "$name" ""
  fi
done

if ((${#missing_required[@]} == 0 && ${#missing_groups[@]} == 0)) &&
   [[ ${OMENGLOBE_REFRESH_INDEX:-} != always ]]; then
  exit 0
fi

need_root "${missing_required[@]}" "${missing_groups[@]}"
# The architecture goes in before the refresh, so that its indexes come too.
if printf '%s\n' "${required[@]}" "${groups[@]}" | grep -q ':i386\b' &&
   ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
refresh_index

if ((${#missing_required[@]})); then
  say "installing: ${missing_required[*]}"
  if ! install "${missing_required[@]}"; then
    reason=$(apt_reason "$log")
    # apt names the package it cannot find; otherwise every one asked for.
    named=$(sed -nE 's/^E: Unable to locate package (.*)$/\1/p; s/^E: Package .(.*). has no installation candidate$/\1/p' "$log" | paste -sd' ')
    say "cannot install the required package${named:+ }${named:-s ${missing_required[*]}}: ${reason:-apt-get install failed}" >&2
    exit 1
  fi
fi

for group in "${missing_groups[@]}"; do
  name=${group%%=*}
  IFS=, read -r -a packages <<<"${group#*=}"
  say "installing optional $name: ${packages[*]}"
  if install "${packages[@]}"; then
    record "$name" ""
  else
    reason=$(apt_reason "$log")
    reason=${reason:-apt-get install failed}
    record "$name" "${packages[*]}" "$reason"
    say "optional $name (${packages[*]}) not installed, the tests that need it will be skipped: $reason"
  fi
done
exit 0
