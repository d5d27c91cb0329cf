#!/bin/sh
# sensorhub-sim.exe under wine in a real terminal (a private tmux server), on
# the simulated hub with the virtual clock: after the run, the calibration
# screen's texts stand at their rows and columns, in bright green, with the
# cursor hidden. Wine has no display here, so every message box fails at once
# and the sequence goes on, as it does when a box fails.
#   screen.sh WINE_RUN SENSORHUB_SIM_EXE WORK_DIR
set -eu

wine_run=$1
exe=$2
work=$3

rm -rf "$work"
mkdir -p "$work"
socket=$work/tmux.sock
failures=0
# The private server goes with the script, however it ends.
trap 'tmux -S "$socket" kill-server 2>/dev/null || true' EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# run_screen NAME SCENARIO: runs the program in an 100x30 terminal and leaves
# its screen in $work/NAME.txt (plain) and $work/NAME.ansi (with attributes).
run_screen() {
  name=$1
  status=$work/$name.status
  # The pane stays open after the program (no "pane is dead" line scrolls the
  # screen) until the server is killed below.
  tmux -S "$socket" -f /dev/null new-session -d -s "$name" -x 100 -y 30 \
    "SENSORHUB_SIM_CLOCK=virtual SENSORHUB_SIM_SCENARIO=$2 WINE_RUN_TIMEOUT=120 \
     '$wine_run' '$exe'; echo \$? >'$status'; sleep 600"
  waited=0
  while [ ! -f "$status" ] && [ "$waited" -lt 150 ]; do
    sleep 1
    waited=$((waited + 1))
  done
  tmux -S "$socket" capture-pane -p -t "$name" >"$work/$name.txt"
  tmux -S "$socket" capture-pane -e -p -t "$name" >"$work/$name.ansi"
  cursor=$(tmux -S "$socket" display -p -t "$name" '#{cursor_flag}')
  tmux -S "$socket" kill-session -t "$name"
  if [ ! -f "$status" ]; then
    fail "$name: the program did not end"
  elif [ "$(cat "$status")" != 0 ]; then
    fail "$name: exit code $(cat "$status")"
  fi
  [ "$cursor" = 0 ] || fail "$name: the cursor is visible"
  grep -q "$(printf '\033')\[92m" "$work/$name.ansi" || fail "$name: no bright green text"
}

# expect NAME ROW COLUMN PATTERN: the row holds PATTERN (an extended regular
# expression) from COLUMN on, up to the end of the row.
expect() {
  line=$(sed -n "$(($2 + 1))p" "$work/$1.txt")
  if printf '%s\n' "$line" | grep -Eq "^ {$3}$4 *\$"; then
    echo "ok: $1 row $2"
  else
    fail "$1 row $2 column $3: '$line' does not match '$4'"
  fi
}

# The whole sequence passes: every step's banner and readings are shown.
run_screen pass pass
number='-?[0-9]+'
expect pass 0 0 ''
expect pass 1 20 'Velkor Sensor Calibration & Validation Tool \(V1\.70\)'
expect pass 2 0 '={80}'
expect pass 4 24 '=+Step1=+'
expect pass 6 35 "$number LUX\.     $number MM\."
expect pass 9 24 '=+Step2=+'
expect pass 11 25 "ACC_X:$number ACC_Y:$number ACC_Z:[0-9-]+"
expect pass 13 28 "GYR_X:$number GYR_Y:$number GYR_Z:[0-9-]+"
expect pass 16 24 '=+Step3=+'
expect pass 18 38 'LEVEL=3'

# The light check fails: the run ends after step 1.
run_screen light light-fail
expect light 1 20 'Velkor Sensor Calibration & Validation Tool \(V1\.70\)'
expect light 4 24 '=+Step1=+'
expect light 6 35 "$number LUX\.     $number MM\."
expect light 9 0 ''
expect light 16 0 ''

[ "$failures" -eq 0 ] || {
  echo "$failures screen check(s) failed; screens in $work"
  exit 1
}
