#!/usr/bin/env bash
# One whole upgrade of orb-upgrade.exe under Wine against orb-sim, in a private
# network namespace where loopback is the only interface: there Wine's own
# address list (from the host-name lookup) is 127.0.0.1, and nothing leaves the
# machine. The namespace has its own Xvfb and openbox (for title bars, so that a
# mouse click lands where the window is). The warning's Continue is pressed with
# a real mouse click (xdotool); win_driver.exe works the other dialogs through
# their controls.
#
#   wine_upgrade.sh RUN EXE DRIVER PROBE ORB_SIM IMAGE OUT_DIR [SHOT_DIR]
#
# RUN: password, long-password (200 characters typed, of which the run sends
# 126, which the adapter's page shows back), hint (no read request comes: the
# hint after 20 s, then the close box), escape-key, cancel-in-restart-wait,
# stalled-upload, wrong-password, other-host, screenshots, screenshot-error-box,
# and transfer (ends once the image is across; for the benchmark). SHOT_DIR
# receives wine-N-NAME.png. The runs that keep a diagnostics log check it and
# read its access list back.
# stalled-upload-stray and stalled-upload-flood are stalled uploads where, in
# half of the unacknowledged block's 30 intervals, another host (127.0.0.9)
# sends the transfer's port a datagram every 10 ms, or 2,500 a second: those
# intervals must last at most 1.2 times as long as the others (and no less
# than 0.75 times).
# other-host: while the adapter waits 20 s before it fetches, orb-rrq-thief
# (ORB_RRQ_THIEF, the Linux build's) on 127.0.0.9 asks for every name the run
# could have drawn on ports 69-72, and a second orb-sim there reports the
# embedded version; the adapter must get the image, the other host nothing.
# old-version: the adapter takes the whole image and comes back reporting its
# old version 1.0.2: the error box names that version, and no success dialog.
# Needs root (unshare -n, ports 69 and 80); without it exits 77 (skipped).
set -u
run=$1 exe=$2 driver=$3 probe=$4 sim=$5 image=$6 out=$7 shots=${8:-}

if [ -z "${ORB_WINE_NETNS:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for a private network namespace (unshare -n) and ports 69 and 80"
    exit 77
  fi
  [ -x "$sim" ] || { echo "wine upgrade: no orb-sim at $sim (build the default preset first)" >&2; exit 1; }
  # For the benchmark: the run on one CPU, orb-sim on another.
  pin=()
  [ -n "${ORB_BENCH_APP_CPU:-}" ] && pin=(taskset -c "$ORB_BENCH_APP_CPU")
  exec "${pin[@]}" env ORB_WINE_NETNS=1 unshare -n "$0" "$@"
fi

started=$(date +%s%N)
mkdir -p "$out"
out=$(cd "$out" && pwd)
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$out/wineprefix}
title="ORB-3100/4100 Firmware Upgrade"
device=127.0.0.2
password=secret
# 200 characters, no 8 of them from the start found anywhere else in a log.
long_password=$(python3 -c 'import random, string; r = random.Random(29); print("".join(r.choice(string.ascii_letters + string.digits) for _ in range(200)))')
sent_password=${long_password:0:126}
used_password=$password
[ "$run" = long-password ] && used_password=$sent_password
hint_text="No request from the adapter yet: a firewall on this computer may block UDP port 69, and the adapter must reach the chosen PC address 127.0.0.1."

fail() { echo "wine upgrade $run: $*" >&2; exit 1; }
ip link set lo up || fail "cannot bring up loopback in the namespace"

# The X lock and socket files live in the shared /tmp: Xvfb picks a free display
# number and writes it to descriptor 3.
rm -f "$out/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset >"$out/xvfb.log" 2>&1 3>"$out/display" &
xvfb=$!
for _ in $(seq 1 100); do [ -s "$out/display" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n 1 "$out/display")
pids=()
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  wineserver -k 2>/dev/null
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  kill "$xvfb" 2>/dev/null
}
trap cleanup EXIT
for _ in $(seq 1 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
xdotool getdisplaygeometry >/dev/null 2>&1 || fail "Xvfb did not start"
openbox --sm-disable >"$out/openbox.log" 2>&1 &
pids+=($!)

# A wine server of the prefix left from an earlier test would have started its
# helper processes (the network information service among them) outside this
# namespace: every process of the run starts here.
wineserver -k 2>/dev/null
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || fail "wineboot failed"

sim_options=(--address=$device --quiet-blocks --restart-ms=3000)
case $run in
  # The password run holds the ACK of block 100 for 1.5 s, so that the upload
  # window stays up showing the bytes acknowledged so far (99 blocks).
  password) sim_options+=(--user=admin --password=$password --qop=auth --pause-after-block=100 --pause-ms=1500) ;;
  wrong-password) sim_options+=(--user=admin --password=$password --qop=auth) ;;
  # The adapter takes what the run sends, and its page shows it back.
  long-password) sim_options+=(--user=admin --password=$sent_password --qop=auth --product-name=$sent_password) ;;
  hint) sim_options+=(--fetch-delay-ms=600000) ;;
  stalled-upload | stalled-upload-stray | stalled-upload-flood) sim_options+=(--stop-after-blocks=100) ;;
  other-host) sim_options+=(--fetch-delay-ms=20000) ;;
  old-version) sim_options+=(--version-after-restart=1.0.2) ;;
  screenshots)
    # Slow enough that each passing window stays up for its picture.
    sim_options+=(--user=admin --password=$password --qop=auth --http-delay-ms=1500 --http-delay-on=status
                  --fetch-delay-ms=2500 --tftp-delay-ms=3) ;;
esac
# Every event line also goes to sim.times with the time it arrived.
stampLines() { while IFS= read -r line; do echo "$line" >>"$out/sim.log"; echo "$EPOCHREALTIME $line" >>"$out/sim.times"; done; }
rm -f "$out/sim.log" "$out/sim.times" "$out/driver.log" "$out/driver.times" "$out/driver.err"
sim_pin=()
[ -n "${ORB_BENCH_SIM_CPU:-}" ] && sim_pin=(taskset -c "$ORB_BENCH_SIM_CPU")
"${sim_pin[@]}" "$sim" "${sim_options[@]}" > >(stampLines) 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do grep -qs '^event=listening' "$out/sim.log" && break; sleep 0.1; done
grep -q '^event=listening' "$out/sim.log" || fail "orb-sim did not start: $(cat "$out/sim.log")"

other=127.0.0.9
thief=
if [ "$run" = other-host ]; then
  thief_program=${ORB_RRQ_THIEF:-$(dirname "$sim")/../tests/orb-rrq-thief}
  [ -x "$thief_program" ] || fail "no orb-rrq-thief at $thief_program (build the default preset first)"
  rm -f "$out/fake.log" "$out/thief.log"
  "$sim" --address=$other --quiet-blocks --software-version="2.0.10(a)" >"$out/fake.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do grep -qs '^event=listening' "$out/fake.log" && break; sleep 0.1; done
  grep -q '^event=listening' "$out/fake.log" || fail "the other host's orb-sim did not start: $(cat "$out/fake.log")"
fi

# What the adapter reports on its status page, for the confirmation's fields.
page=$(curl -s --digest -u "admin:$used_password" "http://$device/admin/advanced")
pageValue() { sed -n "s|.*<td>$1:</td><td><b>\([^<]*\)</b>.*|\1|p" <<<"$page" | head -n 1; }

shot_dir_windows=
if [ -n "$shots" ]; then
  mkdir -p "$shots"
  shots=$(cd "$shots" && pwd)
  shot_dir_windows="Z:${shots//\//\\}"
fi

# Runs the driver; "shot" lines become screenshots of the window's rectangle.
drive() {
  local options=(--timeout-ms=150000)
  [ -n "$shot_dir_windows" ] && options+=("--shots=$shot_dir_windows")
  wine "$driver" "${options[@]}" "$@" 2>>"$out/driver.err" | while IFS= read -r line; do
    line=${line%$'\r'}
    echo "$line" >>"$out/driver.log"
    echo "$EPOCHREALTIME $line" >>"$out/driver.times"
    case $line in
      "shot "*)
        read -r _ name left top right bottom <<<"$line"
        # A picture of one colour caught the screen before the window was drawn.
        for _ in 1 2 3 4 5; do
          import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$shots/$name.tmp.png"
          [ "$(identify -format '%[fx:standard_deviation > 0]' "$shots/$name.tmp.png")" = 1 ] && break
          sleep 0.5
        done
        mv "$shots/$name.tmp.png" "$shots/$name.png"
        ;;
    esac
  done
  return "${PIPESTATUS[0]}"
}

# These runs keep a diagnostics log, as field support would ask for one.
trace_log=
if [[ $run =~ ^(password|long-password|hint|escape-key)$ ]]; then
  trace_log=$out/trace.log
  rm -f "$trace_log"
  export ORB_TRACE="Z:${trace_log//\//\\}"
fi
wine "$exe" >"$out/exe.log" 2>&1 &
app=$!
unset ORB_TRACE

# Another host's stray datagrams at the transfer's port (the program's end
# of it, as the adapter logs it with the option acknowledgement), during the
# 6th to 10th, 16th to 20th and 26th to 30th intervals of the block that the
# adapter never acknowledges: the other intervals are the same program's,
# on the same machine under the same load, without them.
case $run in
  stalled-upload-stray) stray_interval_us=10000 stray_label="one every 10 ms" ;;
  stalled-upload-flood) stray_interval_us=400 stray_label="2,500 a second" ;;
  *) stray_interval_us= stray_label="no" ;;
esac
if [ -n "$stray_interval_us" ]; then
  python3 - "$out/sim.log" "$stray_interval_us" "$app" >"$out/stray.log" 2>&1 <<'PY' &
import os, re, socket, sys, time
log, interval, app = sys.argv[1], int(sys.argv[2]) / 1e6, int(sys.argv[3])
text, offset, port = "", 0, None
stray = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
stray.bind(("127.0.0.9", 0))
stray.setblocking(False)
sent, sends, due, check = 0, 0, 0.0, 0.0
deadline = time.monotonic() + 300
# Until the program has ended or 300 s at the latest.
while time.monotonic() < deadline:
    now = time.monotonic()
    if now >= check:
        try:
            os.kill(app, 0)
        except ProcessLookupError:
            break
        with open(log) as f:
            f.seek(offset)
            more = f.read()
        offset += len(more.encode())
        text += more
        if port is None:
            match = re.search(r"^event=tftp-oack from=127\.0\.0\.1:(\d+)", text, re.M)
            port = int(match.group(1)) if match else None
        sends = text.count("event=tftp-ack-withheld")
        check = now + 0.005
    # Interval j runs from the block's send j to send j + 1 (j from 0).
    active = port is not None and 1 <= sends < 30 and ((sends - 1) // 5) % 2 == 1
    if not active:
        due = now
    elif now >= due:
        stray.sendto(b"\x00\x04\x00\x00", ("127.0.0.1", port))
        sent += 1
        due += interval
    pause = min(due if active else check, check) - time.monotonic()
    if pause > 0:
        time.sleep(pause)
print("sent", sent, "stray datagrams to port", port)
PY
  pids+=($!)
fi

# The warning: its Continue button pressed with the mouse, as a person would.
drive "wait:$title:1021" "shot:wine-1-warning" || fail "no warning dialog: $(tail -n 3 "$out/driver.log")"
read -r x y < <(wine "$probe" center "$title" 1 | tr -d '\r')
[ -n "${x:-}" ] || fail "no Continue button"
xdotool mousemove "$x" "$y" click 1

address_steps=("wait:$title:1000" "address:1000:$device" "combo:1017:127.0.0.1" "shot:wine-2-address" "click:1")
credential_steps() {
  echo "wait:Enter Password Information:1005"
  echo "expect:1003:admin"
  echo "settext:1005:$1"
  [ -n "${2:-}" ] && echo "shot:$2"
  echo "click:1"
  echo "gone"
}
confirm_steps=("wait:Confirm Upgrade to Ver. 2.0.10(a):1002" "print:1002:Serial Number" "print:1003:MAC Address"
               "print:1004:Software Version" "print:1005:Hardware Version" "print:1006:Product Name")
restart_wait="wait:Updating Firmware to ORB@$device:1010"
success_steps=("wait:ORB@$device Upgrade Successful!:1004" "expect:1004:2.0.10(a)" "click:1")
error_box() { echo "wait:ORB Firwmare Upgrade Error"; echo "boxtext:$1"; [ -n "${2:-}" ] && echo "shot:$2"; echo "click:1"; }

mapfile -t password_ok < <(credential_steps $password)
case $run in
  password)
    steps=("${address_steps[@]}" "${password_ok[@]}" "${confirm_steps[@]}" "click:1"
           "wait:Uploading Firmware to ORB@$device $((99 * 512))/$(stat -c %s "$image") Bytes:1010"
           "$restart_wait" "${success_steps[@]}") ;;
  wrong-password)
    mapfile -t password_wrong < <(credential_steps wrong-$password)
    steps=("${address_steps[@]}" "${password_wrong[@]}" "${password_ok[@]}" "${confirm_steps[@]}" "click:1"
           "$restart_wait" "${success_steps[@]}") ;;
  long-password)
    mapfile -t password_long < <(credential_steps "$long_password")
    steps=("${address_steps[@]}" "${password_long[@]}" "${confirm_steps[@]}" "click:1" "$restart_wait"
           "${success_steps[@]}") ;;
  hint)
    # Enter in the address dialog; the close box of the waiting window.
    mapfile -t box < <(error_box "Upgrade Failed: User Abort")
    steps=("${address_steps[@]:0:3}" "key:enter" "${confirm_steps[@]}" "click:1"
           "wait:Waiting For Firmware Upload Request From ORB:1099" "expect:1099:$hint_text" "shot:wine-10-hint" "closebox" "${box[@]}") ;;
  escape-key)
    mapfile -t box < <(error_box "Upgrade Failed: User Abort")
    steps=("${address_steps[@]}" "${confirm_steps[@]}" "key:escape" "${box[@]}") ;;
  cancel-in-restart-wait)
    mapfile -t box < <(error_box "Upgrade Failed: User Abort")
    steps=("${address_steps[@]}" "${confirm_steps[@]}" "click:1" "$restart_wait" "sleep:2000" "click:2"
           "${box[@]}") ;;
  stalled-upload | stalled-upload-stray | stalled-upload-flood)
    mapfile -t box < <(error_box "Upgrade Failed: Firmware Upload Incomplete")
    steps=("${address_steps[@]}" "${confirm_steps[@]}" "click:1" "${box[@]}") ;;
  other-host)
    # Up to the waiting window; the thief starts its sweep; then the rest.
    drive "${address_steps[@]}" "${confirm_steps[@]}" "click:1" \
          "wait:Waiting For Firmware Upload Request From ORB:1010" ||
      fail "driver: $(grep FAILED "$out/driver.log" | tail -n 1)"
    "$thief_program" --from $other --to 127.0.0.1 --ports 69-72 >"$out/thief.log" 2>&1 &
    thief=$!
    pids+=($thief)
    steps=("$restart_wait" "${success_steps[@]}") ;;
  screenshots)
    mapfile -t password_shot < <(credential_steps $password wine-4-credentials)
    steps=("${address_steps[@]}" "wait:Connecting with ORB@$device:1010" "sleep:500" "shot:wine-3-connecting"
           "${password_shot[@]}" "${confirm_steps[@]}" "shot:wine-5-confirm" "click:1"
           "wait:Waiting For Firmware Upload Request From ORB:1010" "sleep:800" "shot:wine-6-waiting"
           "wait:Uploading Firmware to ORB@$device *:1010" "sleep:1000" "shot:wine-7-upload"
           "wait:ORB@$device Upgrade Successful!:1004" "shot:wine-8-success" "click:1") ;;
  transfer)
    steps=("${address_steps[@]}" "${confirm_steps[@]}" "click:1" "$restart_wait") ;;
  old-version)
    mapfile -t box < <(error_box "Upgrade Failed: ORB reports version 1.0.2 after the upload" wine-11-old-version)
    steps=("${address_steps[@]}" "${confirm_steps[@]}" "click:1" "$restart_wait" "${box[@]}") ;;
  screenshot-error-box)
    mapfile -t box < <(error_box "Upgrade Failed: User Abort" wine-9-error-box)
    steps=("${address_steps[@]}" "wait:Confirm Upgrade to Ver. 2.0.10(a):1002" "click:2" "${box[@]}") ;;
  *) fail "unknown run" ;;
esac
drive "${steps[@]}" || fail "driver: $(grep FAILED "$out/driver.log" | tail -n 1)"

# The transfer as the adapter saw it: request, option acknowledgement, last block.
eventTime() { awk -v e="event=$1" '$2 == e { print $1; exit }' "$out/sim.times"; }
elapsedMs() { awk -v a="$1" -v b="$2" 'BEGIN { if (a != "" && b != "") printf "%.1f", (b - a) * 1000; else print "-" }'; }
transfer_line="rrq_to_oack_ms $(elapsedMs "$(eventTime tftp-rrq)" "$(eventTime tftp-oack)")"
transfer_line+=" oack_to_done_ms $(elapsedMs "$(eventTime tftp-oack)" "$(eventTime tftp-done)")"
echo "transfer $transfer_line"
if [ "$run" = transfer ]; then
  grep -q '^event=image-received .*check=ok' "$out/sim.log" || fail "the adapter did not take the image"
  exit 0
fi

# The program ends by itself once its last dialog is closed.
for _ in $(seq 1 100); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "still running after its last dialog"
wait "$app"
code=$?
app=
[ "$code" -eq 0 ] || fail "exit code $code"

# The confirmation showed what the adapter reports.
for field in "Serial Number" "MAC Address" "Software Version" "Hardware Version" "Product Name"; do
  shown=$(sed -n "s/^$field=//p" "$out/driver.log" | head -n 1)
  grep -q "^$field=" "$out/driver.log" || continue
  [ "$shown" = "$(pageValue "$field")" ] || fail "$field shows '$shown', the adapter reports '$(pageValue "$field")'"
done

received() { sed -n 's/^event=image-received .*sha256=\([0-9a-f]*\).*/\1/p' "$out/sim.log" | head -n 1; }
case $run in
  password | long-password | wrong-password | screenshots | other-host | old-version)
    expected=$(sha256sum "$image" | cut -d' ' -f1)
    [ "$(received)" = "$expected" ] || fail "the adapter's image sha256 '$(received)' is not the embedded '$expected'"
    reported="2.0.10(a)"
    [ "$run" = old-version ] && reported=1.0.2
    grep -q "^event=restart-up .*software-version=\"\\?$reported" "$out/sim.log" || fail "the adapter did not restart"
    ;;
esac
if [ "$run" = old-version ]; then
  ! grep -q 'Upgrade Successful' "$out/driver.log" || fail "a success dialog: $(grep 'Upgrade Successful' "$out/driver.log")"
fi
if [ -n "$trace_log" ]; then
  [ -s "$trace_log" ] || fail "ORB_TRACE=$trace_log: no log written"
  # Created for the user alone. Wine keeps a file's rights as its Unix mode:
  # it reads back no protected flag, and an entry for the system account
  # (S-1-5-18) on every file; anyone else (Everyone, S-1-1-0) is a fault.
  wine "$probe" dacl "Z:${trace_log//\//\\}" | tr -d '\r' >"$out/trace.dacl" || fail "cannot read the log's access list"
  cat "$out/trace.dacl"
  user_sid=$(sed -n 's/^user //p' "$out/trace.dacl")
  [ -n "$user_sid" ] || fail "no user in the access list read back"
  grants=$(grep -Ev '^(user|protected) ' "$out/trace.dacl" | grep -v '^allow S-1-5-18 ')
  [ "$grants" = "allow $user_sid 0x001f01ff" ] || fail "the log's access list grants others: $(cat "$out/trace.dacl")"
fi
# The password runs' logs: what they hold, and what they must not.
if [[ $run =~ ^(password|long-password)$ ]]; then
  for expected in "GET /admin/advanced HTTP/1.1" "HTTP/1.1 401" 'response="***"' "Send block" "All blocks ack'd" \
                  'dialog shown: 139 "' 'button pressed: dialog 104 "Enter Password Information", button 1 "OK"' \
                  'dialog shown: 111 "ORB@'"$device"' Upgrade Successful!"'; do
    grep -qF -- "$expected" "$trace_log" || fail "the log lacks '$expected'"
  done
  grep -qF -- "$used_password" "$trace_log" && fail "the log holds the password"
fi
case $run in
  long-password)
    grep -qF -- "${long_password:0:8}" "$trace_log" && fail "the log holds the password's first 8 characters"
    grep -qF '<td>Product Name:</td><td><b>***</b>' "$trace_log" || fail "the page's echo of the password is not masked"
    ;;
  hint)
    grep -qF -- "dialog hint: 114 \"$hint_text\"" "$trace_log" || fail "the log lacks the hint"
    # The hint came 20 s after the waiting window, by the log's own clock.
    python3 - "$trace_log" <<'PY' || fail "the hint came too early"
import re, sys
def ms(line):
    h, m, s = line[:12].split(":")
    return (int(h) * 3600 + int(m) * 60) * 1000 + round(float(s) * 1000)
lines = open(sys.argv[1], encoding="latin-1").read().splitlines()
shown = next(ms(l) for l in lines if 'dialog shown: 114 "' in l)
hint = next(ms(l) for l in lines if "dialog hint: 114 " in l)
print(f"hint {(hint - shown) / 1000:.3f} s after the waiting window")
sys.exit(0 if hint - shown >= 20000 else 1)
PY
    grep -qF 'button pressed: dialog 101 "'"$title"'", button 1 "OK" (Enter)' "$trace_log" ||
      fail "the log lacks Enter in the address dialog"
    grep -qF 'close box pressed: dialog 114 "Waiting For Firmware Upload Request From ORB"' "$trace_log" ||
      fail "the log lacks the close box"
    grep -qF 'button pressed: dialog 114' "$trace_log" && fail "the close box was logged as a button press"
    ;;
  escape-key)
    grep -qF 'button pressed: dialog 103 "Confirm Upgrade to Ver. 2.0.10(a)", button 2 "Cancel" (Escape)' \
      "$trace_log" || fail "the log lacks Escape in the confirmation"
    ;;
esac
if [[ $run =~ ^(password|long-password)$ ]]; then
  # The Digest response recomputed from what the log shows must not be in it.
  python3 - "$trace_log" "$used_password" <<'PY' || fail "the log holds a Digest response"
import hashlib, re, sys
log, password = open(sys.argv[1], encoding="latin-1").read(), sys.argv[2]
md5 = lambda text: hashlib.md5(text.encode("latin-1")).hexdigest()
headers = re.findall(r"Authorization: Digest (.*)", log)
if not headers:
    sys.exit("no Authorization header in the log")
for header in headers:
    d = dict(re.findall(r'(\w+)="?([^",]*)"?', header))
    ha1 = md5(f"{d['username']}:{d['realm']}:{password}")
    ha2 = md5(f"GET:{d.get('uri', '')}")
    response = md5(f"{ha1}:{d['nonce']}:{d['nc']}:{d['cnonce']}:{d['qop']}:{ha2}")
    if response in log:
        sys.exit(f"response {response} is in the log")
PY
fi
if [ "$run" = wrong-password ]; then
  grep -q '^event=http-request .*auth=refused' "$out/sim.log" || fail "the adapter refused no password"
fi
case $run in
  stalled-upload*)
    [ -z "$(received)" ] || fail "the adapter received a whole image"
    # The block that is never acknowledged, as each of its sends reached the
    # adapter: 30 sends, the time-out at the end of the 30th interval.
    mapfile -t sends < <(awk '$2 == "event=tftp-ack-withheld" { print $1 }' "$out/sim.times")
    [ "${#sends[@]}" -eq 30 ] || fail "the block was sent ${#sends[@]} times, not 30"
    timing=$(printf '%s\n' "${sends[@]}" | awk '
      NR > 1 { j = NR - 2; d = $1 - last; if (int(j / 5) % 2 == 1) { s += d; n++ } else { q += d; m++ } }
      { last = $1; if (NR == 1) first = $1 }
      END { printf "%.0f %.0f %.0f %.2f", q / m * 1000, s / n * 1000, (last - first) * 1000, (s / n) / (q / m) }')
    read -r quiet_ms stray_ms span_ms ratio <<<"$timing"
    echo "stalled: 29 resend intervals in ${span_ms} ms; mean ${quiet_ms} ms in the 15 quiet ones," \
         "${stray_ms} ms in the 14 that stray datagrams ($stray_label) reach (${ratio} x)"
    if [ "$run" != stalled-upload ]; then
      cat "$out/stray.log"
      grep -q '^sent [1-9]' "$out/stray.log" || fail "no stray datagrams were sent"
      awk -v r="$ratio" 'BEGIN { exit !(r <= 1.2) }' || fail "the stray datagrams stretched the intervals ${ratio} times"
      # Nor may they shorten them (the quiet ones vary by about a tenth here).
      awk -v r="$ratio" 'BEGIN { exit !(r >= 0.75) }' || fail "the stray datagrams shortened the intervals to ${ratio}"
    fi
    ;;
esac
if [ "$run" = other-host ]; then
  # The other host asked for every name and got no answer at all, and its
  # page was never asked.
  for _ in $(seq 1 600); do grep -qs '^event=swept' "$out/thief.log" && break; sleep 0.1; done
  grep -q '^event=swept sweep=1 requests=131072' "$out/thief.log" || fail "the thief did not sweep: $(cat "$out/thief.log")"
  kill -TERM "$thief"
  for _ in $(seq 1 50); do grep -qs '^event=summary' "$out/thief.log" && break; sleep 0.1; done
  summary=$(grep '^event=summary' "$out/thief.log")
  [[ $summary == *" replies=0 "* && $summary == *" bytes=0" ]] || fail "the other host got answers: $summary"
  ! grep -q '^event=http-request' "$out/fake.log" || fail "the other host's page was asked: $(grep http-request "$out/fake.log")"
  grep -q '^event=tftp-rrq' "$out/sim.log" || fail "the adapter sent no read request"
fi

tenths=$((($(date +%s%N) - started) / 100000000))
echo "wine upgrade $run: passed in $((tenths / 10)).$((tenths % 10)) s (exit code 0)"
