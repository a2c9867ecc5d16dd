#!/usr/bin/env bash
# Runs Keypilot under Wine on a private Xvfb display with a Wine desktop: the "Connect a phone"
# window of a first start, then the settings window with its port list dropped down (each in
# Russian and in English), and the tray menu, and saves screenshots of them in docs/.
#
#   scripts/screenshots.sh          renew docs/connect-phone.png, connect-phone-en.png,
#                                   settings-window.png, settings-window-en.png, tray.png
#   scripts/screenshots.sh --help   this text
set -euo pipefail
# shellcheck source=scripts/lib/args.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/args.sh"
help_or_no_arguments "$@"
cd "$(dirname "${BASH_SOURCE[0]}")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Keypilot ui_driver

build=build/windows
testbed=$(pwd)/$build/shots-testbed
scripts/testbed.sh start "$testbed"
trap 'scripts/testbed.sh stop "$testbed"' EXIT
wine() { scripts/wine-run.sh "$testbed" "$@"; }
display=$(. "$testbed/env" && echo "$DISPLAY")
shot() { import -display "$display" -window root "$1"; }

mkdir -p docs
# A first start, with no port stored, opens "Connect a phone" by itself.
for lang in en_US ru_RU; do
    LANG=$lang.UTF-8 wine "$build/src/app/Keypilot.exe" >/dev/null 2>&1 &
    sleep 6 # start-up, then the window
    shot /tmp/keypilot-desktop.png
    picture=docs/connect-phone.png
    [ $lang = ru_RU ] || picture=docs/connect-phone-${lang%_*}.png
    # The window alone: the desktop's plain colour around it is cut away, and the taskbar.
    convert /tmp/keypilot-desktop.png -crop 1024x740+0+0 +repage -fuzz 2% -trim +repage "$picture"
    wine "$build/tools/ui_driver/ui_driver.exe" close
    wait
done
wine reg add 'HKCU\Software\Corvane\Keypilot' /v com /t REG_SZ /d 4 /f >/dev/null
# One start per language; the Russian one stays up for the tray menu.
for lang in en_US ru_RU; do
    LANG=$lang.UTF-8 wine "$build/src/app/Keypilot.exe" >/dev/null 2>&1 &
    wine "$build/tools/ui_driver/ui_driver.exe" rect >/dev/null # waits for the window
    sleep 2                                                     # the status timer ticks: connected
    wine "$build/tools/ui_driver/ui_driver.exe" dblclick
    sleep 1.5
    wine "$build/tools/ui_driver/ui_driver.exe" droplist
    sleep 0.5
    read -r x y w h < <(wine "$build/tools/ui_driver/ui_driver.exe" rect | tr -d '\r')
    shot /tmp/keypilot-desktop.png
    picture=docs/settings-window.png
    [ $lang = ru_RU ] || picture=docs/settings-window-${lang%_*}.png
    convert /tmp/keypilot-desktop.png -crop "${w}x${h}+${x}+${y}" +repage "$picture"
    wine "$build/tools/ui_driver/ui_driver.exe" cancel
    sleep 0.5
    if [ $lang != ru_RU ]; then
        wine "$build/tools/ui_driver/ui_driver.exe" close
        wait
    fi
done
# The tray menu, opened where the user's right click on the icon would open it.
wine "$build/tools/ui_driver/ui_driver.exe" cursor 1000 750
wine "$build/tools/ui_driver/ui_driver.exe" rightclick
sleep 1.5
shot /tmp/keypilot-tray.png
convert /tmp/keypilot-tray.png -crop 420x260+604+508 +repage docs/tray.png
echo "saved docs/connect-phone.png, docs/connect-phone-en.png, docs/settings-window.png," \
    "docs/settings-window-en.png and docs/tray.png"
