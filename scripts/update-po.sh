#!/usr/bin/env bash
# Renews the message templates in po/ from the sources and merges them into every translation.
#   update-po.sh           write po/default.pot and po/serial.pot, msgmerge po/<lang>/<domain>.po
#   update-po.sh --check   change nothing; exit 1 when a template is stale or a translation lacks,
#                          leaves untranslated or marks fuzzy any of its template's texts
# Domain "default": the interface's texts (marked with tr() or uiText() in the program's rooms:
# src/app, src/windows, src/ways, src/buttons, src/desktop, src/settings, src/i18n) and the
# framework's string table. Domain "serial": the serial port component's messages (marked with
# serialText() in src/serial).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
check=0
case ${1:-} in
    -h | --help)
        sed -n '2,/^[^#]/s/^# \{0,1\}//p' "$0"
        exit 0
        ;;
    --check) check=1 ;;
    "") ;;
    *)
        echo "update-po: unknown argument: $1 (see --help)" >&2
        exit 2
        ;;
esac

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
common=(--from-code=UTF-8 --add-location=file --sort-output --package-name=Keypilot
    --msgid-bugs-address=https://corvane.ru/keypilot/ --copyright-holder=Corvane)

# The string table's texts, as the program looks them up: CR removed, so "\r\n" becomes "\n".
rc_strings() {
    awk -v file="$1" '
        /^[ \t]*IDS_[A-Z0-9_]+[ \t]+"/ {
            text = $0
            sub(/^[ \t]*IDS_[A-Z0-9_]+[ \t]+"/, "", text)
            sub(/"[ \t]*$/, "", text)
            gsub(/\\r/, "", text)
            printf "#: %s\nmsgid \"%s\"\nmsgstr \"\"\n\n", file, text
        }' "$1"
}

xgettext "${common[@]}" -C --keyword= --keyword=serialText -o "$work/serial.pot" \
    src/serial/*.cpp src/serial/*.h
sed -i 's/charset=CHARSET/charset=UTF-8/' "$work/serial.pot"

# shellcheck disable=SC2046 # the file list, one word a file (no blanks in source paths)
xgettext "${common[@]}" -C --keyword= --keyword=tr --keyword=uiText -o "$work/app.pot" \
    $(git ls-files -- 'src/app/*.cpp' 'src/app/*.h' 'src/windows/*.cpp' 'src/windows/*.h' \
        'src/ways/*.cpp' 'src/ways/*.h' 'src/buttons/*.cpp' 'src/buttons/*.h' \
        'src/desktop/*.cpp' 'src/desktop/*.h' 'src/settings/*.cpp' 'src/settings/*.h' \
        'src/i18n/ui_text.h')
{
    printf 'msgid ""\nmsgstr ""\n"Content-Type: text/plain; charset=UTF-8\\n"\n\n'
    rc_strings src/framework/framework_strings.rc
} >"$work/rc.po"
msgcat --sort-output --use-first -o "$work/default.pot" "$work/app.pot" "$work/rc.po"

status=0
for domain in default serial; do
    if [ $check = 1 ]; then
        if ! diff -q -I '^"POT-Creation-Date' "$work/$domain.pot" "po/$domain.pot" >/dev/null; then
            echo "update-po: po/$domain.pot is stale (run scripts/update-po.sh)" >&2
            diff -I '^"POT-Creation-Date' "po/$domain.pot" "$work/$domain.pot" >&2 || true
            status=1
        fi
    else
        cp "$work/$domain.pot" "po/$domain.pot"
    fi
    for po in po/*/"$domain".po; do
        [ -e "$po" ] || continue
        if [ $check = 0 ]; then
            msgmerge --quiet --update --backup=none --no-fuzzy-matching "$po" "po/$domain.pot"
            continue
        fi
        if ! msgcmp "$po" "po/$domain.pot" 2>"$work/cmp"; then
            echo "update-po: $po lacks texts of po/$domain.pot:" >&2
            cat "$work/cmp" >&2
            status=1
        fi
        statistics=$(msgfmt --check --statistics -o /dev/null "$po" 2>&1) || {
            echo "update-po: $po: $statistics" >&2
            status=1
            continue
        }
        if [[ $statistics == *untranslated* || $statistics == *fuzzy* ]]; then
            echo "update-po: $po is incomplete: $statistics" >&2
            status=1
        fi
    done
done
exit $status
