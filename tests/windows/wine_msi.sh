#!/usr/bin/env bash
# The Windows installer under Wine's msiexec, silently, in a Wine prefix of its
# own: installed, both programs there, `orb-upgrade` found by name from a new
# Command Prompt (the system PATH) and from a batch file, as the console
# program (--check against ORB_SIM's adapters), the same version rebuilt
# replacing it in place, upgraded in place by a newer package, uninstalled
# with nothing of ours left and the rest of PATH as it was. In a private
# network namespace (root; skipped otherwise), as the console runs.
#
#   wine_msi.sh MSI VERSION MAKE_MSI BIN_DIR ICON OUT_DIR ORB_SIM
#
# MAKE_MSI, BIN_DIR and ICON make the other packages (the same VERSION, and
# VERSION with its last number raised).
set -u
msi=$1 version=$2 make_msi=$3 bin=$4 icon=$5 out=$6 sim=$7

if [ -z "${ORB_WINE_NETNS:-}" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "skipped: needs root for a private network namespace (unshare -n) and port 80"
    exit 77
  fi
  exec env ORB_WINE_NETNS=1 unshare -n "$0" "$@"
fi
ip link set lo up || { echo "wine msi: cannot bring up loopback" >&2; exit 1; }

fail() { echo "wine msi: $*" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/again"
out=$(cd "$out" && pwd)
export WINEDEBUG=-all
export WINEPREFIX=$out/wineprefix
simPid=
trap '[ -n "$simPid" ] && kill "$simPid"; wineserver -k 2>/dev/null' EXIT
wineboot -i >/dev/null 2>&1 || fail "wineboot failed"

folder="$WINEPREFIX/drive_c/Program Files/ORB Firmware Upgrade"
environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
windowsPath() { echo "Z:${1//\//\\}"; }
# The system PATH's entries, empty ones left out: Wine's msiexec leaves an
# empty entry where it took out the last one, which changes nothing.
systemPath() {
  wine reg query "$environment" /v Path | tr -d '\r' | sed -n 's/^ *Path *REG_EXPAND_SZ *//p' |
    tr ';' '\n' | grep -v '^$' | paste -sd ';'
}
registered() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
    grep -c 'DisplayName *REG_SZ *ORB Firmware Upgrade$'
}
shortcuts() { find "$WINEPREFIX/drive_c" -name 'ORB Firmware Upgrade.lnk' | wc -l; }

# An entry of the administrator's own after ours: it must survive the uninstall.
wine reg add "$environment" /v Path /t REG_EXPAND_SZ /f \
  /d "$(systemPath);C:\\Tools" >/dev/null || fail "cannot set PATH"
before=$(systemPath)

wine msiexec /i "$(windowsPath "$msi")" /qn || fail "msiexec /i failed ($?)"
[ -f "$folder/orb-upgrade.exe" ] && [ -f "$folder/orb-upgrade.com" ] || fail "the programs are not installed"
[ "$(shortcuts)" -eq 1 ] || fail "no Start-menu shortcut"
[ "$(registered)" -eq 1 ] || fail "not registered once as installed"
[ "$(systemPath)" = "$before;C:\\Program Files\\ORB Firmware Upgrade\\" ] || fail "PATH is now $(systemPath)"
# A new Command Prompt, in another folder, finds the console program by name.
answer=$(wine cmd /c 'cd /d C:\ && orb-upgrade --version' | tr -d '\r' | head -n 1)
[ "$answer" = "orb-upgrade $version" ] || fail "orb-upgrade --version answered '$answer'"

# Typed at a prompt, and in a batch file, `orb-upgrade` is the console program.
"$sim" --address=127.0.0.2 --count=2 --user=admin --password=secret >"$out/sim.log" 2>&1 &
simPid=$!
for _ in $(seq 1 100); do grep -q '^event=listening' "$out/sim.log" && break; sleep 0.1; done
printf '127.0.0.2\r\n127.0.0.3\r\n' >"$WINEPREFIX/drive_c/adapters.txt"
printf 'secret\r\n' >"$WINEPREFIX/drive_c/pw.txt"
command='orb-upgrade --unattended --accept-warning --check --pc-address 127.0.0.1 --addresses-file adapters.txt --password-file pw.txt --parallel 2 --json'
printf '@echo off\r\ncd /d C:\\\r\n%s\r\n' "$command" >"$WINEPREFIX/drive_c/check.bat"
for how in prompt batch; do
  if [ $how = prompt ]; then
    wine cmd /c "cd /d C:\ && $command" >"$out/$how.txt" 2>&1
  else
    wine cmd /c 'C:\check.bat' >"$out/$how.txt" 2>&1
  fi
  status=$?
  [ $status -eq 10 ] && [ "$(grep -c '"event":"result","result":"needs-upgrade"' "$out/$how.txt")" -eq 2 ] ||
    fail "from a $how: exit $status, $(cat "$out/$how.txt")"
done

# The same version built again replaces the installed one: one install.
"$make_msi" "$version" "$bin" "$icon" "$out/again/orb-upgrade-$version-x64.msi" || fail "cannot make the package again"
wine msiexec /i "$(windowsPath "$out/again/orb-upgrade-$version-x64.msi")" /qn || fail "the reinstall failed ($?)"
[ "$(registered)" -eq 1 ] || fail "after the same version again $(registered) installs are registered"
[ -f "$folder/orb-upgrade.com" ] || fail "the same version again lost the console program"

# A newer package replaces the installed one in place.
newer=${version%.*}.$((${version##*.} + 1))
"$make_msi" "$newer" "$bin" "$icon" "$out/orb-upgrade-$newer-x64.msi" || fail "cannot make the newer package"
wine msiexec /i "$(windowsPath "$out/orb-upgrade-$newer-x64.msi")" /qn || fail "the upgrade failed ($?)"
[ "$(registered)" -eq 1 ] || fail "after the upgrade $(registered) installs are registered"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
  grep -q "DisplayVersion *REG_SZ *$newer$" || fail "the newer version is not the one installed"
[ -f "$folder/orb-upgrade.com" ] || fail "the upgrade lost the console program"
[ "$(systemPath)" = "$before;C:\\Program Files\\ORB Firmware Upgrade\\" ] || fail "after the upgrade PATH is $(systemPath)"

wine msiexec /x "$(windowsPath "$out/orb-upgrade-$newer-x64.msi")" /qn || fail "msiexec /x failed ($?)"
[ ! -e "$folder" ] || fail "the program folder is left: $(ls "$folder")"
[ "$(shortcuts)" -eq 0 ] || fail "the shortcut is left"
[ "$(registered)" -eq 0 ] || fail "still registered as installed"
[ "$(systemPath)" = "$before" ] || fail "PATH after the uninstall is $(systemPath), was $before"
echo "wine msi: passed"
