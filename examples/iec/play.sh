#!/usr/bin/env bash
# Plays a scripted supervisor against a program built from Structured Text:
#   play.sh [--narrate] PROGRAM QVCTL SCENARIO
# starts PROGRAM on an image of its own (it ends by itself after 10 s left in STOP, should
# this script die), then reads SCENARIO line by line:
#   say TEXT            printed with --narrate
#   show VAR...         the variables' values, printed with --narrate
#   expect VAR VALUE    qvctl get VAR must print "VAR = VALUE"
#   anything else       a qvctl command (set Conveyor.StartButton TRUE, step 5, ...)
# Blank lines and lines starting with # are skipped. Exit 0 when every line passed; 1 at
# the first that did not, with the program's console.
set -euo pipefail

narrate=false
if [[ "${1:-}" == "--narrate" ]]; then
  narrate=true
  shift
fi
if (($# != 3)); then
  echo "usage: play.sh [--narrate] PROGRAM QVCTL SCENARIO" >&2
  exit 2
fi
program=$(realpath "$1")
qvctl_bin=$2
scenario=$3
[[ -x "$program" ]] || { echo "play.sh: $program is not a built program" >&2; exit 1; }
[[ -f "$scenario" ]] || { echo "play.sh: no scenario $scenario" >&2; exit 1; }

# A name nobody can guess (another user could lay an image under a known one), within
# the 29 characters an image name may have.
image="qv_iec_$(od -An -N8 -tx1 /dev/urandom | tr -d ' \n')"
folder=$(mktemp -d)
pid=
qvctl() { "$qvctl_bin" --name "$image" "$@"; }
finish() {
  if [[ -n "$pid" ]]; then
    qvctl end >/dev/null 2>&1 || kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    qvctl remove >/dev/null 2>&1 || true
  fi
  rm -rf "$folder"
}
trap finish EXIT
fail() {
  echo "play.sh: $(basename "$scenario"):$1" >&2
  echo "--- the program's console:" >&2
  cat "$folder/console.txt" >&2 2>/dev/null || true
  exit 1
}

(cd "$folder" && QV_MEMORY_NAME=$image QV_TIMEOUT=10 exec "$program" >console.txt 2>&1) &
pid=$!
up=false
answer=""
for _ in $(seq 200); do
  answer=$(qvctl status 2>&1 || true)
  if grep -q '^status *STOP' <<<"$answer"; then
    up=true
    break
  fi
  sleep 0.05
done
$up || { echo "play.sh: what qvctl status said last: $answer" >&2; fail "0: $(basename "$program") did not come up on image $image"; }
$narrate && echo "$(basename "$program") runs on image $image, stopped; the supervisor drives it cycle by cycle."

number=0
while IFS= read -r line || [[ -n "$line" ]]; do
  number=$((number + 1))
  line="${line#"${line%%[![:space:]]*}"}"
  [[ -z "$line" || "$line" == \#* ]] && continue
  read -r -a words <<<"$line"
  case "${words[0]}" in
    say)
      $narrate && printf '\n%s\n' "${line#say }"
      ;;
    show)
      out=$(qvctl get "${words[@]:1}" 2>&1) || fail "$number: qvctl get ${words[*]:1}: $out"
      $narrate && sed 's/^/    /' <<<"$out"
      ;;
    expect)
      ((${#words[@]} >= 3)) || fail "$number: expect VAR VALUE"
      want="${words[1]} = ${line#expect "${words[1]}" }"
      got=$(qvctl get "${words[1]}" 2>&1) || fail "$number: qvctl get ${words[1]}: $got"
      [[ "$got" == "$want" ]] || fail "$number: expected \"$want\", qvctl says \"$got\""
      $narrate && echo "    $got  (as expected)"
      ;;
    *)
      out=$(qvctl "${words[@]}" 2>&1) || fail "$number: qvctl $line: $out"
      $narrate && printf '  qvctl %-36s %s\n' "$line" "${out//$'\n'/; }"
      ;;
  esac
done <"$scenario"
$narrate && printf '\nThe scenario completed.\n'
exit 0
