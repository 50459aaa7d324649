#!/usr/bin/env bash
# Reads the resources of orb-upgrade.exe back with wrestool (icoutils), not with
# the program itself: the eight dialog templates, group icon 106, the version
# information, and ORB_FIRMWARE 112 with exactly the bytes of the image.
#
#   check_resources.sh ORB_UPGRADE_EXE IMAGE WORK_DIR
set -u
exe=$1 image=$2 work=$3
mkdir -p "$work"
fail() { echo "resources: $*" >&2; exit 1; }

list=$(wrestool -l "$exe") || fail "wrestool cannot read $exe"
for id in 101 103 104 105 110 111 114 139; do
  grep -q -- "--type=5 --name=$id " <<<"$list" || fail "dialog $id missing"
done
[ "$(grep -c -- '--type=5 ' <<<"$list")" -eq 8 ] || fail "not exactly eight dialogs"
grep -q -- "--type=14 --name=106 " <<<"$list" || fail "group icon 106 missing"
grep -q -- "--type=16 " <<<"$list" || fail "version information missing"
grep -q -- "--type='ORB_FIRMWARE' --name=112 " <<<"$list" || fail "ORB_FIRMWARE 112 missing"

wrestool -x --raw --type=ORB_FIRMWARE --name=112 "$exe" > "$work/firmware.bin" || fail "cannot extract the image"
cmp -s "$work/firmware.bin" "$image" || fail "ORB_FIRMWARE 112 differs from $image"
wrestool -x --type=14 --name=106 "$exe" > "$work/icon.ico" || fail "cannot extract the icon"
file_type=$(head -c 4 "$work/icon.ico" | od -An -tx1 | tr -d ' \n')
[ "$file_type" = "00000100" ] || fail "icon 106 is not an icon"
echo "resources: 8 dialogs, icon 106, version information, ORB_FIRMWARE 112 = $(basename "$image") ($(stat -c %s "$image") bytes)"
