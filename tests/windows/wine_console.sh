#!/usr/bin/env bash
# Whole unattended runs of the console program orb-upgrade.com under Wine
# against orb-sim, in a private network namespace where loopback is the only
# interface (Wine's own address list is then 127.0.0.1 and nothing leaves the
# machine). No display: the program has no windows.
#
#   wine_console.sh RUN EXE ORB_SIM IMAGE OUT_DIR PROBE
#
# RUN: password-json (one adapter, --json, --log, --pc-address, under the ANSI
# code page 932: the program, the password file and the log in a folder that
# no ANSI code page can name, a password outside it from the file, then from
# ORB_PASSWORD with --check), three-adapters (a UTF-16 addresses file with a
# byte-order mark, CRLF and a Ctrl-Z, one adapter refusing the password, a log
# per adapter), check (one current, one behind; a usage error), request-timeout (an adapter
# that never fetches), stop (Ctrl-C during the uploads), cold-ctrl-c (Ctrl-C
# 0.2, 0.3 and 0.4 s into a cold start), killed (a stranger's stop events,
# then the program killed while its runs wait). OUT_DIR keeps the output, the
# simulators' logs and the trace. PROBE is win_probe.exe.
# Needs root (unshare -n, ports 69 and 80); without it exits 77 (skipped).
set -u
run=$1 exe=$2 sim=$3 image=$4 out=$5 probe=${6:-}

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

windowsPath() { echo "Z:${1//\//\\}"; }

# runsOf FOLDER: how many single-adapter runs of the program in FOLDER are
# running (Wine shows a process's Windows command line).
runsOf() {
  local folder count=0 pid
  folder=$(windowsPath "$1")
  for pid in /proc/[0-9]*; do
    case "$(tr '\0' ' ' <"$pid/cmdline" 2>/dev/null)" in
      "$folder"*--adapter-run*) count=$((count + 1)) ;;
    esac
  done
  echo "$count"
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
    # Code page 932 holds neither the folder's ü nor the password's ä; 1252
    # not its Cyrillic.
    # The locale is made here, for this run alone (LOCPATH).
    mkdir -p "$out/locale"
    localedef -i ja_JP -f UTF-8 "$out/locale/ja_JP.UTF-8" || fail "cannot make the locale ja_JP.UTF-8"
    export LOCPATH=$out/locale
    export LC_ALL=ja_JP.UTF-8 2>/dev/null
    password='pässwort-秘密'
    startSim one 127.0.0.2 1 --user=admin --password="$password" --qop=auth
    folder="$out/Прошивка ü"
    mkdir -p "$folder"
    cp "$exe" "$folder/orb-upgrade.com"
    exe="$folder/orb-upgrade.com"
    # As `copy con` leaves it: CRLF, then Ctrl-Z.
    printf '%s\r\n\x1a' "$password" >"$folder/пароль.txt"
    rm -f "$folder/журнал.log"
    runCli --accept-warning --json --address 127.0.0.2 --password-file "$(windowsPath "$folder")\пароль.txt" \
      --log "$(windowsPath "$folder")\журнал.log" --pc-address 127.0.0.1
    expectStatus 0
    checkJson "
chosen = [(e['pc-address'], e.get('pc-address-from')) for e in events if e['event'] == 'address']
assert chosen == [('127.0.0.1', '--pc-address')], chosen
uploads = [e for e in events if e['event'] == 'upload']
assert uploads and uploads[-1]['bytes'] == uploads[-1]['size'] == $size, uploads[-1:]
results = [e for e in events if e['event'] == 'result']
assert [(r['adapter'], r['result'], r['code']) for r in results] == [('127.0.0.2', 'success', 0)], results
"
    grep -q "Upgrade Successful" "$folder/журнал.log" || fail "--log wrote no trace"
    ! grep -q "$password" "$folder/журнал.log" || fail "the trace shows the password"
    # On a console (here a terminal that Wine makes one of), a file's name keeps its letters.
    script -qec "stty cols 500; $(printf '%q ' wine "$exe" --accept-warning --address 127.0.0.2 --log \
      "$(windowsPath "$folder")\нет\журнал.log")" /dev/null >"$out/console.txt"
    grep -q 'нет\\журнал.log: cannot append' "$out/console.txt" || fail "the console shows $(cat -v "$out/console.txt")"
    # The same password from the environment, read as characters.
    ORB_PASSWORD=$password runCli --accept-warning --json --check --address 127.0.0.2
    expectStatus 0
    checkJson "assert [e['result'] for e in events if e['event'] == 'result'] == ['current'], events[-1]"
    ;;
  three-adapters)
    startSim good 127.0.0.2 2 --user=admin --password=$password --qop=auth
    startSim other 127.0.0.4 1 --user=admin --password=another --qop=auth
    # As Notepad saves "Unicode", and a Ctrl-Z after it.
    printf '# three adapters\r\n127.0.0.2\r\n127.0.0.3\r\n\r\n127.0.0.4\r\n\x1a' | iconv -t UTF-16 >"$out/adapters.txt"
    rm -f "$out"/orb*.log
    ORB_PASSWORD=$password runCli --accept-warning --parallel 3 --addresses-file "$(windowsPath "$out")\adapters.txt" \
      --log "$(windowsPath "$out")\orb.log"
    expectStatus 1
    # One log per adapter, the address before the extension.
    [ "$(cd "$out" && ls orb*.log | paste -sd ' ')" = "orb.127.0.0.2.log orb.127.0.0.3.log orb.127.0.0.4.log" ] ||
      fail "the logs are $(cd "$out" && ls orb*)"
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
    # A usage error, as Windows's own tools word one.
    runCli --accept-warning --check
    expectStatus 2
    [ "$(tr -d '\r' <"$out/errors.txt")" = "$(printf 'ERROR: %s\nType "orb-upgrade --help" for usage.' \
      'no adapter: give --address A.B.C.D or --addresses-file FILE')" ] || fail "the usage error reads $(cat "$out/errors.txt")"
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
    tr -d '\r' <"$out/errors.txt" | grep -qx "INFO: Ctrl-C: cancelling every run" ||
      fail "the message does not name Ctrl-C: $(cat "$out/errors.txt")"
    checkJson "
results = {e['adapter']: (e['result'], e.get('error')) for e in events if e['event'] == 'result'}
assert results == {a: ('cancelled', 'Upgrade Failed: User Abort') for a in ('127.0.0.2', '127.0.0.3')}, results
"
    ;;
  cold-ctrl-c)
    # Ctrl-C while Wine starts the program: it cancels, never ends with 0.
    startSim silent 127.0.0.2 1 --fetch-delay-ms=600000
    for delay in 0.2 0.3 0.4; do
      wineserver -k 2>/dev/null
      wineserver -w 2>/dev/null
      wine "$exe" --accept-warning --address 127.0.0.2 >"$out/output.txt" 2>"$out/errors.txt" &
      app=$!
      sleep "$delay"
      kill -INT "$app"
      wait "$app"
      status=$?
      app=
      expectStatus 7
    done
    ;;
  killed)
    startSim waiting 127.0.0.2 2 --user=admin --password=$password --qop=auth --fetch-delay-ms=600000
    printf '%s' "$password" >"$out/password.txt"
    mkdir -p "$out/killed"
    cp "$exe" "$out/killed/orb-upgrade.com"
    wine "$out/killed/orb-upgrade.com" --accept-warning --json --parallel 2 --address 127.0.0.2 --address 127.0.0.3 \
      --password-file "$(windowsPath "$out")\password.txt" >"$out/output.txt" 2>"$out/errors.txt" &
    app=$!
    for _ in $(seq 1 300); do
      [ "$(grep -c '"event":"waiting"' "$out/output.txt")" -eq 2 ] && break
      sleep 0.2
    done
    [ "$(runsOf "$out/killed")" -eq 2 ] || fail "the two runs are not waiting: $(cat "$out/output.txt")"
    stranger=$(wine "$probe" stop-events orb-upgrade.com | tr -d '\r')
    [ "$stranger" = 0 ] || fail "another program could set $stranger stop events of the runs"
    kill -KILL "$app"
    wait "$app" 2>/dev/null
    app=
    for _ in $(seq 1 20); do
      [ "$(runsOf "$out/killed")" -eq 0 ] && break
      sleep 0.1
    done
    [ "$(runsOf "$out/killed")" -eq 0 ] || fail "runs are still running 2 s after their program was killed"
    ! grep -q '"event":"cancel' "$out/output.txt" || fail "a run was cancelled"
    ;;
  *) fail "unknown run" ;;
esac
echo "wine console $run: passed"
