#!/usr/bin/env bash
# zelvar-batch as a process: stopped by kill -9 and continued, and every bad input of its
# manual page. Usage: process_test.sh stop-and-continue|bad-inputs PROGRAM SOURCE_DIR
set -uo pipefail
test_name=$1
program=$2
positions=$3/bench/random-positions.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}
# expect NAME ACTUAL EXPECTED
expect() {
  [[ "$2" == "$3" ]] || fail "$1: got [$2], expected [$3]"
}

stop_and_continue() {
  head -n 24 "$positions" >"$work/input"
  "$program" --no-times --workers 2 "$work/input" >"$work/whole"
  expect "the uninterrupted run's status" $? 0
  expect "the uninterrupted run's records" "$(wc -l <"$work/whole")" 24

  # Killed as soon as a few records are out (within 30 s), then continued twice: the second
  # time there is nothing left to do.
  "$program" --no-times --workers 2 -o "$work/records" "$work/input" &
  local pid=$! lines=0
  for _ in $(seq 300); do
    lines=$(wc -l 2>/dev/null <"$work/records" || echo 0)
    ((lines >= 3)) && break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  ((lines >= 3)) || fail "no 3 records within 30 s"
  for run in 1 2; do
    "$program" --no-times --workers 2 -o "$work/records" --resume "$work/input"
    expect "status of continuation $run" $? 0
    cmp -s "$work/records" "$work/whole" || fail "continuation $run differs from the whole run"
  done

  # A run killed mid-write leaves a torn last line: it is cut off and written again.
  head -c 2500 "$work/whole" >"$work/torn"
  "$program" --no-times --workers 2 -o "$work/torn" --resume "$work/input"
  cmp -s "$work/torn" "$work/whole" || fail "continuing after a torn line differs"
  # Records of other options or inputs are not continued.
  head -c 2500 "$work/whole" >"$work/torn"
  expect "other options" "$("$program" -o "$work/torn" --resume "$work/input" 2>&1)" \
    "zelvar-batch: $work/torn: holds no records of zelvar-batch with these options"
  "$program" --no-times --shard 1/2 -o "$work/torn" --resume "$work/input" 2>/dev/null
  expect "status with another shard's records" $? 2
}

bad_inputs() {
  local goal="1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 0"
  local solved='{"line":2,"position":"1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 0","length":0,"moves":"","nodes":1,"bounds":[[0,1]]}'
  local output status errors

  # A 100 MB line, never held whole: the program runs in far less address space than that,
  # where the system can limit it at all (not under the sanitizers or an emulator).
  local limit=
  (ulimit -v 80000 && "$program" --no-times </dev/null) 2>/dev/null && limit="ulimit -v 80000;"
  output=$(bash -c "$limit"' { head -c 100000000 /dev/zero | tr "\0" 7; printf "\n%s\n" "$1"; } |
    "$2" --no-times' _ "$goal" "$program")
  expect "a 100 MB line" "$?:$output" \
    $'1:{"line":1,"error":"Error: tiles must be numbered from 0 to 15."}\n'"$solved"

  # Binary junk: every byte value, lines of all lengths; every record a refusal, valid UTF-8.
  for ((round = 0; round < 8; ++round)); do
    for ((byte = round; byte < 256; byte += 1 + round)); do printf "\\x$(printf %02x $byte)"; done
  done >"$work/junk"
  output=$("$program" "$work/junk")
  status=$?
  expect "binary junk's status" "$status" 1
  [[ $output == *'"error":'* ]] || fail "binary junk gave no refusal"
  grep -v '^{"line":[0-9]*,"error":"[^"]*"}$' <<<"$output" && fail "binary junk: other records"
  iconv -f UTF-8 -t UTF-8 <<<"$output" >/dev/null || fail "binary junk: output not UTF-8"

  expect "seventeen numbers" "$(echo "$goal 16" | "$program")" \
    '{"line":1,"error":"Error: please enter only sixteen numbers."}'

  # Inputs that cannot be read stop the run before anything is written.
  output=$("$program" "$work/missing" 2>&1 >"$work/out")
  expect "a missing file" "$?:$output:$(cat "$work/out")" \
    "2:zelvar-batch: $work/missing: No such file or directory:"
  output=$(echo "$goal" | "$program" - "$work" 2>&1 >"$work/out")
  expect "a directory" "$?:$output:$(cat "$work/out")" "2:zelvar-batch: $work: Is a directory:"
  output=$("$program" 2>&1 <&-)
  expect "standard input closed" "$?:$output" "2:zelvar-batch: standard input: Bad file descriptor"

  : >"$work/empty"
  expect "an empty file" "$("$program" "$work/empty"; echo "status $?")" "status 0"
  expect "an empty file as CSV" "$("$program" --format csv --no-times "$work/empty" | od -c)" \
    "$(printf 'line,position,length,moves,nodes,bounds,error\r\n' | od -c)"

  # CR LF line ends, no final newline and a byte-order mark read as LF and a final newline do.
  printf '\xEF\xBB\xBF# a comment\r\n%s\r\n\r\n%s' "$goal" "$goal" >"$work/crlf"
  printf '# a comment\n%s\n\n%s\n' "$goal" "$goal" >"$work/lf"
  output=$("$program" --no-times "$work/crlf")
  expect "CR LF, no final newline" "$?:$output" "0:$solved"$'\n'"${solved/:2,/:4,}"
  expect "CR LF as LF" "$output" "$("$program" --no-times "$work/lf")"

  # A reader that leaves: the run stops quietly, long before its 200 positions are solved.
  head -n 200 "$positions" | timeout 30 "$program" 2>"$work/errors" | head -n 1 >/dev/null
  status=${PIPESTATUS[1]}
  expect "a reader that leaves: status (124: timed out), messages" \
    "$status:$(cat "$work/errors")" "2:"
  if [[ -c /dev/full ]]; then
    output=$(echo "$goal" | "$program" 2>&1 >/dev/full)
    expect "a full disk" "$?:$output" "2:zelvar-batch: standard output: No space left on device"
  fi
}

case $test_name in
  stop-and-continue) stop_and_continue ;;
  bad-inputs) bad_inputs ;;
  *) echo "unknown test $test_name"; exit 2 ;;
esac
((failures == 0)) && echo "passed" || exit 1
