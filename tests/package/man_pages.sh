#!/bin/sh
# Every manual page renders without a warning from man (groff's warnings included).
# man takes a page's language from its path (.../man/ja/man1/...), as for installed pages,
# and only then breaks Japanese lines: a Japanese page elsewhere warns "can't break line".
# A translation (.../man/ja/man1/NAME beside .../man/NAME) keeps in step with the English
# page: the same sections, synopsis and list of options, commands, variables and files.
#
#   man_pages.sh PAGE...
set -eu
status=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The tag line of every .TP/.TQ item, the synopsis, and the number of sections.
outline() {
    awk '/^\.T[PQ]/ { getline; print } /^\.SY/, /^\.YS/ { print }' "$1"
    grep -c '^\.SH' "$1"
}

for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page:" >&2
        echo "$warnings" >&2
        status=1
    fi
    case "$page" in
    */ja/man1/*)
        english="${page%/ja/man1/*}/${page##*/}"
        outline "$english" >"$work/english"
        outline "$page" >"$work/translation"
        if ! diff -u "$work/english" "$work/translation" >"$work/diff"; then
            echo "$page is out of step with $english:" >&2
            cat "$work/diff" >&2
            status=1
        fi
        ;;
    esac
done
exit $status
