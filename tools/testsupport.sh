# What the shell scripts share about the machine they run on (sourced; the
# same answers as tools/testsupport.py gives the Python scripts).

testsupport_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# missing_optional GROUP: prints why tools/ensure-packages.sh could not
# install the optional group and succeeds; fails when it is installed.
missing_optional() {
  local state=${OMENGLOBE_PACKAGE_STATE:-$testsupport_root/build/missing-optional-packages}
  [[ -f "$state" ]] || return 1
  awk -F'\t' -v g="$1" '$1 == g { print "optional packages " $2 " are not installed (" $3 ")"; found = 1 }
                        END { exit !found }' "$state"
}

# thirty_two_bit_problem: prints why this machine cannot run 32-bit code and
# succeeds; fails (prints nothing) when it can. Any failure to execute Wine's
# 32-bit loader is a "cannot": missing, "Exec format error", status 126/127.
# OMENGLOBE_ASSUME_NO_32BIT set makes the answer "cannot" anywhere.
thirty_two_bit_problem() {
  local loader=/usr/lib/wine/wine out status why
  if [[ -n ${OMENGLOBE_ASSUME_NO_32BIT:-} ]]; then
    echo "OMENGLOBE_ASSUME_NO_32BIT is set"
    return 0
  fi
  if [[ ! -e $loader ]]; then
    why=$(missing_optional wine32) || why=""
    echo "$loader is not installed${why:+: $why}"
    return 0
  fi
  # Through bash, not straight from timeout: execvp would hand a binary the
  # kernel refuses to /bin/sh as if it were a script.
  out=$(timeout 60 bash -c '"$1" --version' bash "$loader" 2>&1)
  status=$?
  ((status == 0)) && return 1
  out=${out##*$'\n'}
  if [[ $out == "bash: line "*": $loader: "* ]]; then
    echo "${out#bash: line *: }"  # bash's own word on why it could not execute it
  else
    echo "$loader --version exited with status $status${out:+: $out}"
  fi
  return 0
}
