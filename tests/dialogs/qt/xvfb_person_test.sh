#!/usr/bin/env bash
# A person at a Linux desktop: the real orb-upgrade on an Xvfb display, driven
# only from outside with xdotool (find a window by its title, click where its
# buttons are, type), against orb-sim on 127.0.6.110 with a password. The run
# goes from the warning to the confirmation dialog, takes screenshots
# (import -window root), ends with Cancel and the error box, and expects exit
# code 0.
#
#   xvfb_person_test.sh ORB_UPGRADE ORB_SIM OUTPUT_FOLDER
#
# Exit 77 (skipped) without root (the program talks to port 80) or without
# Xvfb, xdotool or import.
set -u

program=$1
simulator=$2
out=$3
sim_address=127.0.6.110
password=orb-secret

say() { echo "xvfb-person: $*"; }
fail() {
    echo "xvfb-person: FAILED: $*"
    for log in "$work"/*.log; do
        echo "--- $(basename "$log")"
        tail -n 40 "$log"
    done
    exit 1
}

[ "$(id -u)" -eq 0 ] || { say "skipped: port 80 needs root"; exit 77; }
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { say "skipped: $tool is not installed"; exit 77; }
done

mkdir -p "$out"
rm -f "$out"/*.png
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display and tells it on descriptor 3. -noreset keeps the
# server up between clients (the program probes the display before it opens it).
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
say "Xvfb on $DISPLAY"

"$simulator" --address=$sim_address --user=admin --password=$password --seed=1 --quiet-blocks \
    >"$work/sim.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do grep -q "event=listening" "$work/sim.log" && break; sleep 0.1; done
grep -q "event=listening" "$work/sim.log" || fail "orb-sim did not start"

"$program" >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)

# wait_window TITLE_REGEX [WIDTH]: the id of a visible window with that title
# (and that width), within 15 s.
wait_window() {
    local regex=$1 width=${2:-} id geometry
    for _ in $(seq 150); do
        for id in $(xdotool search --onlyvisible --name "$regex" 2>/dev/null); do
            if [ -z "$width" ]; then echo "$id"; return 0; fi
            geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
            if echo "$geometry" | grep -qx "WIDTH=$width"; then echo "$id"; return 0; fi
        done
        sleep 0.1
    done
    return 1
}

# The dialog base units, from a window's size in pixels and in dialog units.
base_units() {
    local id=$1 width_du=$2 height_du=$3
    eval "$(xdotool getwindowgeometry --shell "$id")"
    base_x=$(( (WIDTH * 4 + width_du / 2) / width_du ))
    base_y=$(( (HEIGHT * 8 + height_du / 2) / height_du ))
}

# click_du WINDOW X Y: a click at a point given in dialog units.
click_du() {
    local id=$1 x=$2 y=$3
    xdotool mousemove --window "$id" $(( (x * base_x + 2) / 4 )) $(( (y * base_y + 4) / 8 )) click 1
    sleep 0.2
}

# The warning dialog (204 x 143 units): Continue at 41,116 50x14.
warning=$(wait_window " Firmware Upgrade\$") || fail "no warning window"
base_units "$warning" 204 143
say "warning window $warning: '$(xdotool getwindowname "$warning")', base units $base_x x $base_y"
click_du "$warning" 66 123

# The address dialog (158 x 181 units): the same title, another size.
address_width=$(( (158 * base_x + 2) / 4 ))
address=$(wait_window " Firmware Upgrade\$" "$address_width") || fail "no address dialog"
say "address dialog $address"
click_du "$address" 34 110                  # into the first field of the address control
xdotool type --delay 40 "$sim_address"
# The PC's address list: the interfaces that are up, loopback last. 127.0.0.1
# reaches the simulator on 127.0.6.x: open the list, take its last entry.
click_du "$address" 100 159
xdotool key --delay 60 End Return
sleep 0.3
import -window "$address" "$out/address-dialog.png" || fail "import of the address dialog"
click_du "$address" 51 133                  # OK

credentials=$(wait_window "^Enter Password Information\$") || fail "no credentials dialog"
say "credentials dialog $credentials"
xdotool type --delay 40 "$password"         # the password field has the focus
click_du "$credentials" 57 217              # OK

confirm=$(wait_window "^Confirm Upgrade to Ver\\.") || fail "no confirmation dialog"
say "confirmation dialog $confirm: '$(xdotool getwindowname "$confirm")'"
sleep 0.3
import -window root "$out/confirmation-desktop.png" || fail "import -window root"
click_du "$confirm" 108 153                 # Cancel

box=$(wait_window "^ORB Firwmare Upgrade Error\$") || fail "no error box"
say "error box $box"
sleep 0.3
import -window root "$out/error-box-desktop.png" || fail "import of the error box"
xdotool windowfocus --sync "$box"
xdotool key Return                          # OK

status=none
for _ in $(seq 100); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
        wait "$program_pid"
        status=$?
        break
    fi
    sleep 0.1
done
[ "$status" = none ] && fail "orb-upgrade did not end after the error box"
[ "$status" -eq 0 ] || fail "orb-upgrade ended with exit code $status"

grep -q "peer=127.0.0.1:.*route=status auth=ok" "$work/sim.log" ||
    fail "the simulator saw no authorised status query from 127.0.0.1"
if grep -q "route=trigger" "$work/sim.log"; then fail "Cancel still triggered the upgrade"; fi
for picture in address-dialog confirmation-desktop error-box-desktop; do
    [ -s "$out/$picture.png" ] || fail "no screenshot $picture.png"
done
say "screenshots in $out"
say "passed: warning, address typed, list entry 127.0.0.1, password, confirmation, Cancel, error box, exit code 0"
exit 0
