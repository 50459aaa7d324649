#!/usr/bin/env bash
# Whole unattended runs of the console program orb-upgrade-cli.exe under Wine
# against orb-sim, in a private network namespace where loopback is the only
# interface (Wine's own address list is then 127.0.0.1 and nothing leaves the
# machine). No display: the program has no windows.
#
#   wine_console.sh RUN EXE ORB_SIM IMAGE OUT_DIR
#
# RUN: password-json (one adapter with a password, --json, --log, --pc-address),
# three-adapters (an addresses file with a byte-order mark and CRLF, one
# adapter refusing the password), check (one current, one behind),
# request-timeout (an adapter that never fetches), stop (Ctrl-C during the
# uploads). OUT_DIR keeps the output, the simulators' logs and the trace.
# Needs root (unshare -n, ports 69 and 80); without it exits 77 (skipped).
set -u
run=$1 exe=$2 sim=$3 image=$4 out=$5

if [ -z "${ORB_WINE_NETNS:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for a private network namespace (unshare -n) and ports 69 and 80"
    exit 77
  fi
  [ -x "$sim" ] || { echo "wine console: no orb-sim at $sim (build the default preset first)" >&2; exit 1; }
  exec env ORB_WINE_NETNS=1 unshare -n "$0" "$@"
fi

mkdir -p "$out"
out=$(cd "$out" && pwd)
export WINEDEBUG=-all
export WINEPREFIX=${WINEPREFIX:-$out/wineprefix}
password=secret
size=$(stat -c %s "$image")

fail() { echo "wine console $run: $*" >&2; [ -f "$out/output.txt" ] && sed 's/^/  | /' "$out/output.txt" >&2; exit 1; }
ip link set lo up || fail "cannot bring up loopback in the namespace"

sims=()
app=
cleanup() {
  [ -n "$app" ] && kill "$app" 2>/dev/null
  for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null; done
  wineserver -k 2>/dev/null
}
trap cleanup EXIT
# Every process of the run starts in this namespace, Wine's helpers included.
wineserver -k 2>/dev/null
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i >/dev/null 2>&1 || fail "wineboot failed"

# startSim NAME ADDRESS COUNT OPTIONS...: one orb-sim, waited for until it
# listens (one line for all its adapters).
startSim() {
  local name=$1 address=$2 count=$3
  shift 3
  "$sim" --address="$address" --count="$count" --quiet-blocks --restart-ms=1000 "$@" >"$out/sim-$name.log" 2>&1 &
  sims+=($!)
  for _ in $(seq 1 100); do
    grep -q '^event=listening' "$out/sim-$name.log" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "orb-sim $name did not start: $(cat "$out/sim-$name.log")"
}

# The program as a Command Prompt would run it; its exit status in $status.
runCli() {
  wine "$exe" "$@" >"$out/output.txt" 2>"$out/errors.txt"
  status=$?
  tr -d '\r' <"$out/output.txt" >"$out/output.lf"
}

expectStatus() { [ "$status" -eq "$1" ] || fail "exit status $status, expected $1 ($(cat "$out/errors.txt"))"; }

# checkJson PYTHON: every line is one JSON object; PYTHON asserts on `events`.
checkJson() {
  python3 - "$out/output.lf" "$1" <<'PY' || fail "the --json lines do not hold what they should"
import json, sys
events = [json.loads(line) for line in open(sys.argv[1]) if line.strip()]
exec(sys.argv[2])
PY
}

case $run in
  password-json)
    startSim one 127.0.0.2 1 --user=admin --password=$password --qop=auth
    printf '%s\r\n' "$password" >"$out/password.txt"
    runCli --accept-warning --json --address 127.0.0.2 --password-file 'Z:'"${out//\//\\}"'\password.txt' \
      --log 'Z:'"${out//\//\\}"'\trace.log' --pc-address 127.0.0.1
    expectStatus 0
    checkJson "
chosen = [(e['pc-address'], e.get('pc-address-from')) for e in events if e['event'] == 'address']
assert chosen == [('127.0.0.1', '--pc-address')], chosen
uploads = [e for e in events if e['event'] == 'upload']
assert uploads and uploads[-1]['bytes'] == uploads[-1]['size'] == $size, uploads[-1:]
results = [e for e in events if e['event'] == 'result']
assert [(r['adapter'], r['result'], r['code']) for r in results] == [('127.0.0.2', 'success', 0)], results
"
    grep -q "Upgrade Successful" "$out/trace.log" || fail "--log wrote no trace"
    ! grep -q "$password" "$out/trace.log" || fail "the trace shows the password"
    ;;
  three-adapters)
    startSim good 127.0.0.2 2 --user=admin --password=$password --qop=auth
    startSim other 127.0.0.4 1 --user=admin --password=another --qop=auth
    printf '\xef\xbb\xbf# three adapters\r\n127.0.0.2\r\n127.0.0.3\r\n\r\n127.0.0.4\r\n' >"$out/adapters.txt"
    ORB_PASSWORD=$password runCli --accept-warning --parallel 3 --addresses-file 'Z:'"${out//\//\\}"'\adapters.txt'
    expectStatus 1
    for adapter in 127.0.0.2 127.0.0.3; do
      grep -qx "$adapter: result: success, version 2.0.10(a)" "$out/output.lf" || fail "$adapter did not succeed"
      grep -q "^$adapter: adapter address $adapter, PC address 127.0.0.1 (the system's route to the adapter)" \
        "$out/output.lf" || fail "$adapter's PC address is not the one routed to it"
    done
    grep -q "^127.0.0.4: result: authentication-refused" "$out/output.lf" || fail "127.0.0.4 was not refused"
    # The summary: a heading, then the failure first, then the totals.
    summary=$(grep -A4 '^adapter  *result' "$out/output.lf")
    [ "$(echo "$summary" | sed -n 2p | awk '{print $1, $2}')" = "127.0.0.4 authentication-refused" ] ||
      fail "the summary does not list the refused adapter first"
    echo "$summary" | grep -qx "3 adapters: 1 authentication-refused, 2 success" || fail "the totals are wrong"
    ;;
  check)
    startSim current 127.0.0.2 1 --software-version="2.0.10(a)"
    startSim behind 127.0.0.3 1
    runCli --accept-warning --json --check --address 127.0.0.2 --address 127.0.0.3
    expectStatus 10
    checkJson "
results = {e['adapter']: e['result'] for e in events if e['event'] == 'result'}
assert results == {'127.0.0.2': 'current', '127.0.0.3': 'needs-upgrade'}, results
"
    ! grep -q 'route=trigger' "$out"/sim-*.log || fail "--check triggered an upgrade"
    ;;
  request-timeout)
    startSim silent 127.0.0.2 1 --fetch-delay-ms=600000
    runCli --accept-warning --json --request-timeout 3 --address 127.0.0.2
    expectStatus 9
    checkJson "
results = [e for e in events if e['event'] == 'result']
assert [(r['result'], r['code']) for r in results] == [('no-request', 9)], results
"
    ;;
  stop)
    # Slow transfers, so that both are still running when Ctrl-C comes. Wine
    # turns SIGINT into the console's Ctrl-C event of the program.
    startSim slow 127.0.0.2 2 --tftp-delay-ms=20
    wine "$exe" --accept-warning --json --parallel 2 --address 127.0.0.2 --address 127.0.0.3 \
      >"$out/output.txt" 2>"$out/errors.txt" &
    app=$!
    for _ in $(seq 1 600); do
      grep -q '"adapter":"127.0.0.2","event":"upload"' "$out/output.txt" &&
        grep -q '"adapter":"127.0.0.3","event":"upload"' "$out/output.txt" && break
      sleep 0.1
    done
    grep -q '"adapter":"127.0.0.3","event":"upload"' "$out/output.txt" &&
      grep -q '"adapter":"127.0.0.2","event":"upload"' "$out/output.txt" || fail "the uploads did not start"
    kill -INT "$app"
    wait "$app"
    status=$?
    app=
    tr -d '\r' <"$out/output.txt" >"$out/output.lf"
    expectStatus 1
    # The console's name for what stopped it, not the Linux signal's.
    tr -d '\r' <"$out/errors.txt" | grep -qx "orb-upgrade: Ctrl-C: cancelling every run" ||
      fail "the message does not name Ctrl-C: $(cat "$out/errors.txt")"
    checkJson "
results = {e['adapter']: (e['result'], e.get('error')) for e in events if e['event'] == 'result'}
assert results == {a: ('cancelled', 'Upgrade Failed: User Abort') for a in ('127.0.0.2', '127.0.0.3')}, results
"
    ;;
  *) fail "unknown run" ;;
esac
echo "wine console $run: passed"
