#!/usr/bin/env bash
# The Windows installer under Wine's msiexec, silently, in a Wine prefix of its
# own: installed, both programs there, the console program found by name from
# a new Command Prompt (the system PATH), upgraded in place by a newer package,
# uninstalled with nothing of ours left and the rest of PATH as it was.
#
#   wine_msi.sh MSI VERSION MAKE_MSI BIN_DIR ICON OUT_DIR
#
# MAKE_MSI, BIN_DIR and ICON make the newer package (VERSION with its last
# number raised).
set -u
msi=$1 version=$2 make_msi=$3 bin=$4 icon=$5 out=$6

fail() { echo "wine msi: $*" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out"
out=$(cd "$out" && pwd)
export WINEDEBUG=-all
export WINEPREFIX=$out/wineprefix
trap 'wineserver -k 2>/dev/null' EXIT
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
[ -f "$folder/orb-upgrade.exe" ] && [ -f "$folder/orb-upgrade-cli.exe" ] || fail "the programs are not installed"
[ "$(shortcuts)" -eq 1 ] || fail "no Start-menu shortcut"
[ "$(registered)" -eq 1 ] || fail "not registered once as installed"
[ "$(systemPath)" = "$before;C:\\Program Files\\ORB Firmware Upgrade\\" ] || fail "PATH is now $(systemPath)"
# A new Command Prompt, in another folder, finds the console program by name.
answer=$(wine cmd /c 'cd /d C:\ && orb-upgrade-cli --version' | tr -d '\r' | head -n 1)
[ "$answer" = "orb-upgrade-cli $version" ] || fail "orb-upgrade-cli --version answered '$answer'"

# A newer package replaces the installed one in place.
newer=${version%.*}.$((${version##*.} + 1))
"$make_msi" "$newer" "$bin" "$icon" "$out/orb-upgrade-$newer-x64.msi" || fail "cannot make the newer package"
wine msiexec /i "$(windowsPath "$out/orb-upgrade-$newer-x64.msi")" /qn || fail "the upgrade failed ($?)"
[ "$(registered)" -eq 1 ] || fail "after the upgrade $(registered) installs are registered"
wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | tr -d '\r' |
  grep -q "DisplayVersion *REG_SZ *$newer$" || fail "the newer version is not the one installed"
[ -f "$folder/orb-upgrade-cli.exe" ] || fail "the upgrade lost the console program"
[ "$(systemPath)" = "$before;C:\\Program Files\\ORB Firmware Upgrade\\" ] || fail "after the upgrade PATH is $(systemPath)"

wine msiexec /x "$(windowsPath "$out/orb-upgrade-$newer-x64.msi")" /qn || fail "msiexec /x failed ($?)"
[ ! -e "$folder" ] || fail "the program folder is left: $(ls "$folder")"
[ "$(shortcuts)" -eq 0 ] || fail "the shortcut is left"
[ "$(registered)" -eq 0 ] || fail "still registered as installed"
[ "$(systemPath)" = "$before" ] || fail "PATH after the uninstall is $(systemPath), was $before"
echo "wine msi: passed"
