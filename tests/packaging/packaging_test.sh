#!/usr/bin/env bash
# The packages as a user gets them, under Wine in a fresh prefix of their own: the zip's contents
# and sums; a silent install (files, shortcut, uninstall entry, logon entry, Keypilot started);
# a silent upgrade to a newer version while Keypilot runs (the old process ends, exactly one new
# one runs, settings stay); a silent uninstall (everything gone but the settings); an install into
# a user's folder given with /D=, its upgrade and uninstall (the user's files there untouched).
#   packaging_test.sh <repository> <release build dir, as scripts/package.sh left it> <testbed dir>
set -uo pipefail
repo=${1:?repository} release=${2:?release build dir} dir=${3:?testbed dir}
repo=$(cd "$repo" && pwd)
release=$(cd "$release" && pwd)
version=$(cat "$release/version.txt")
zip=$release/Keypilot-$version-win64.zip
setup=$release/Keypilot-$version-setup.exe
failures=0
checks=0
fail() { echo "FAILED: $*" >&2; failures=$((failures + 1)); }
check() { # description, command...: counts a check, fails when the command does
    local what=$1; shift
    checks=$((checks + 1))
    "$@" || fail "$what"
}
# Polls a condition (a command) until it holds or the deadline (seconds) passes.
wait_for() {
    local seconds=$1; shift
    local end=$((SECONDS + seconds))
    until "$@"; do
        [ $SECONDS -lt $end ] || return 1
        sleep 0.2
    done
}

check "the zip holds Keypilot.exe, README.txt and LICENSE" \
    test "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "Keypilot.exe LICENSE README.txt "
check "SHA256SUMS matches both packages" \
    sh -c "cd '$release' && sha256sum --quiet -c SHA256SUMS"

rm -rf "$dir"
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
"$repo/scripts/testbed.sh" start "$dir" 2>/dev/null || { echo "FAILED: the testbed did not start" >&2; exit 1; }
trap '"$repo/scripts/testbed.sh" stop "$dir" 2>/dev/null' EXIT
wine() { "$repo/scripts/wine-run.sh" "$dir" "$@" </dev/null; }
# A registry value's data as reg.exe prints it, or nothing when it is missing.
value() { # key, name
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        awk -v name="$2" '$1 == name { sub(/^ *[^ ]+ +REG_[A-Z_]+ */, ""); print; found = 1 }
                          END { exit !found }'
}
has_value() { value "$@" >/dev/null; }
no_value() { ! has_value "$@"; }
unix_path() { wine winepath -u "$1" 2>/dev/null | tr -d '\r'; }
# Live Keypilot.exe processes of this prefix (not the installer, whose name differs).
keypilot_pids() {
    local pid
    for pid in /proc/[0-9]*; do
        pid=${pid#/proc/}
        grep -q '^[^)]*) [^Z]' "/proc/$pid/stat" 2>/dev/null || continue
        tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qx "WINEPREFIX=$dir/prefix" || continue
        tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qi 'keypilot\.exe' && echo "$pid"
    done
}
running() { [ "$(keypilot_pids | wc -l)" = "$1" ]; }
gone() { [ ! -e "$1" ]; }
quiet() { "$@" >/dev/null 2>&1; }

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Keypilot'
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
settings_key='HKCU\Software\Corvane\Keypilot'
local_app_data=$(wine cmd /c echo %LOCALAPPDATA% | tr -d '\r')
app_data=$(wine cmd /c echo %APPDATA% | tr -d '\r')
install_dir="$local_app_data\\Programs\\Keypilot"
install_unix=$(unix_path "$install_dir")
shortcut=$(unix_path "$app_data\\Microsoft\\Windows\\Start Menu\\Programs\\Keypilot.lnk")
[ -n "$install_unix" ] && [ -n "$shortcut" ] || { echo "FAILED: no paths from the prefix" >&2; exit 1; }

# A user's settings from before, with the testbed's first port so that Keypilot opens a port.
wine reg add "$settings_key" /v mouse /d 17 /f >/dev/null 2>&1
wine reg add "$settings_key" /v com /d 4 /f >/dev/null 2>&1

# Install.
check "the installer ends with exit code 0" quiet wine "$setup" /S
for f in Keypilot.exe README.txt LICENSE uninstall.exe; do
    check "installed $f" test -f "$install_unix/$f"
done
check "Start-menu shortcut" test -f "$shortcut"
check "uninstall entry DisplayName" test "$(value "$uninstall_key" DisplayName)" = Keypilot
check "uninstall entry DisplayVersion" test "$(value "$uninstall_key" DisplayVersion)" = "$version"
check "uninstall entry Publisher" test "$(value "$uninstall_key" Publisher)" = Corvane
check "uninstall entry DisplayIcon" \
    test "$(value "$uninstall_key" DisplayIcon)" = "$install_dir\\Keypilot.exe,0"
check "uninstall entry InstallLocation" \
    test "$(value "$uninstall_key" InstallLocation)" = "$install_dir"
check "uninstall entry UninstallString" \
    test "$(value "$uninstall_key" UninstallString)" = "\"$install_dir\\uninstall.exe\""
check "uninstall entry QuietUninstallString" \
    test "$(value "$uninstall_key" QuietUninstallString)" = "\"$install_dir\\uninstall.exe\" /S"
check "uninstall entry NoModify" test "$(value "$uninstall_key" NoModify)" = 0x1
check "uninstall entry NoRepair" test "$(value "$uninstall_key" NoRepair)" = 0x1
size=$(value "$uninstall_key" EstimatedSize)
check "uninstall entry EstimatedSize ($size) in KiB" test $((size)) -gt 100
check "logon entry as Keypilot writes it" \
    test "$(value "$run_key" Keypilot)" = "\"$install_dir\\Keypilot.exe\""
check "Keypilot runs after the install" wait_for 20 running 1
first=$(keypilot_pids)

# Upgrade while it runs: the same program under the next version number.
IFS=. read -r major minor patch <<<"$version"
next=$major.$minor.$((patch + 1))
makensis -V1 -DVERSION="$next" -DFILES="$release/package" \
    -DICON="$repo/src/app/resources/keypilot.ico" -DOUTFILE="$dir/Keypilot-$next-setup.exe" \
    "$repo/packaging/keypilot.nsi" >/dev/null || fail "the upgrade installer did not build"
check "the upgrade ends with exit code 0" quiet wine "$dir/Keypilot-$next-setup.exe" /S
check "the running Keypilot ended" wait_for 20 sh -c "[ ! -d /proc/$first ] || grep -q '^[^)]*) Z' /proc/$first/stat"
check "exactly one Keypilot runs after the upgrade" wait_for 20 running 1
check "and it is a new one" test "$(keypilot_pids)" != "$first"
check "DisplayVersion is the new one" test "$(value "$uninstall_key" DisplayVersion)" = "$next"
check "settings kept by the upgrade" test "$(value "$settings_key" mouse)" = 17
check "logon entry kept by the upgrade" \
    test "$(value "$run_key" Keypilot)" = "\"$install_dir\\Keypilot.exe\""

# Uninstall (the uninstaller hands over to a copy of itself and returns at once).
check "the uninstaller starts" quiet wine "$install_dir\\uninstall.exe" /S
check "no Keypilot runs after the uninstall" wait_for 30 running 0
check "uninstall entry removed" wait_for 30 no_value "$uninstall_key" DisplayName
check "install folder removed" wait_for 30 gone "$install_unix"
check "Start-menu shortcut removed" gone "$shortcut"
check "logon entry removed" no_value "$run_key" Keypilot
check "settings kept by the uninstall" test "$(value "$settings_key" mouse)" = 17

# /D= a user's folder holding files of the same names as Keypilot's: Keypilot goes into a folder
# of its own inside it, an upgrade stays there whatever /D= it is given, and the uninstall takes
# only what was installed. A logon entry that starts a copy elsewhere is not its to remove.
elsewhere='"C:\Portable\Keypilot\Keypilot.exe"'
user_dir='C:\Tools'
user_unix=$(unix_path "$user_dir")
own_dir="$user_dir\\Keypilot"
own_unix=$(unix_path "$own_dir")
mkdir -p "$user_unix"
printf 'My own notes\r\n' >"$user_unix/README.txt"
printf 'My own licence\r\n' >"$user_unix/LICENSE"
user_files=$(cd "$user_unix" && sha256sum README.txt LICENSE)
user_files_intact() { test "$(cd "$user_unix" && sha256sum README.txt LICENSE 2>&1)" = "$user_files"; }
check "the install into a user's folder ends with exit code 0" quiet wine "$setup" /S "/D=$user_dir"
check "Keypilot went into a folder of its own in it" test -f "$own_unix/Keypilot.exe"
check "its uninstall entry InstallLocation" \
    test "$(value "$uninstall_key" InstallLocation)" = "$own_dir"
check "nothing of Keypilot's beside the user's files" \
    test ! -e "$user_unix/Keypilot.exe" -a ! -e "$user_unix/uninstall.exe"
check "the user's files unchanged by the install" user_files_intact
check "Keypilot runs after the install into a user's folder" wait_for 20 running 1
check "the upgrade of that copy ends with exit code 0" \
    quiet wine "$dir/Keypilot-$next-setup.exe" /S "/D=$install_dir"
check "the upgrade kept the installed copy's folder" \
    test "$(value "$uninstall_key" InstallLocation)" = "$own_dir"
check "and wrote nothing into the folder /D= named" gone "$install_unix"
check "exactly one Keypilot runs after that upgrade" wait_for 20 running 1
wine reg add "$run_key" /v Keypilot /d "$elsewhere" /f >/dev/null 2>&1
check "the uninstaller in the user's folder starts" quiet wine "$own_dir\\uninstall.exe" /S
check "that uninstall entry removed" wait_for 30 no_value "$uninstall_key" DisplayName
check "no Keypilot runs after that uninstall" wait_for 30 running 0
check "Keypilot's own folder removed" wait_for 30 gone "$own_unix"
check "the user's files unchanged by the uninstall" user_files_intact
check "a logon entry for a copy elsewhere stays" test "$(value "$run_key" Keypilot)" = "$elsewhere"

echo "packaging: $((checks - failures)) passed, $failures failed"
exit $((failures > 0))
