#!/usr/bin/env bash
# Builds the Windows installer from orb-upgrade.wxs with msitools:
#
#   make-msi.sh VERSION BIN_DIR ICON OUT.msi
#
# BIN_DIR holds orb-upgrade.exe and orb-upgrade.com. wixl makes the
# package; msibuild then adds what wixl has no element for: the same version
# in the row of the Upgrade table that finds what a package replaces, the row of the
# Windows Installer's Environment table that appends the program's folder to
# the system PATH ("[~];[INSTALLDIR]", name "=-*Path": set on install, only
# that entry taken out again on uninstall, the rest of PATH untouched), and the
# two standard actions that apply it.
set -euo pipefail
version=$1 bin=$2 icon=$3 out=$4
here=$(cd "$(dirname "$0")" && pwd)

# wixl takes file names relative to where it runs, never absolute ones: the
# files are gathered in a folder of their own first.
out=$(cd "$(dirname "$out")" && pwd)/$(basename "$out")
tmp=$out.partial
stage=$out.files
rm -rf "$tmp" "$stage"
mkdir -p "$stage"
cp "$bin/orb-upgrade.exe" "$bin/orb-upgrade.com" "$stage/"
cp "$icon" "$stage/orb.ico"
(cd "$stage" && wixl --arch x64 -D Version="$version" -D BinDir=. -D IconFile=orb.ico -o "$tmp" "$here/orb-upgrade.wxs")
rm -rf "$stage"
# wixl leaves the File table's Version empty, which makes both programs
# unversioned files to the Windows Installer: they carry the version of their
# VERSIONINFO, the project's, in US English.
msibuild "$tmp" -q "UPDATE \`File\` SET \`Version\` = '$version.0', \`Language\` = '1033'
  WHERE \`File\` = 'OrbUpgradeExe' OR \`File\` = 'OrbUpgradeCom'"
# A package rebuilt with the same version replaces the installed one too,
# instead of installing beside it: wixl's MajorUpgrade row finds only older
# versions, so it is made again with the version itself included
# (msidbUpgradeAttributesVersionMaxInclusive 0x200, beside MigrateFeatures 1).
upgrade=$(sed -n 's/.*UpgradeCode="\([^"]*\)".*/\1/p' "$here/orb-upgrade.wxs")
msibuild "$tmp" -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
msibuild "$tmp" -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`)
  VALUES ('{$upgrade}', '$version', 513, 'WIX_UPGRADE_DETECTED')"
msibuild "$tmp" -q 'CREATE TABLE `Environment` (`Environment` CHAR(72) NOT NULL, `Name` CHAR(255) NOT NULL LOCALIZABLE,
  `Value` CHAR(255) LOCALIZABLE, `Component_` CHAR(72) NOT NULL PRIMARY KEY `Environment`)'
msibuild "$tmp" -q "INSERT INTO \`Environment\` (\`Environment\`, \`Name\`, \`Value\`, \`Component_\`)
  VALUES ('SystemPath', '=-*Path', '[~];[INSTALLDIR]', 'ConsoleProgram')"
msibuild "$tmp" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('RemoveEnvironmentStrings', 3300)"
msibuild "$tmp" -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Sequence\`) VALUES ('WriteEnvironmentStrings', 5200)"
mv "$tmp" "$out"
