#!/bin/sh
# Every manual page renders without a warning from man (groff's warnings included).
# man takes a page's language from its path (.../man/ja/man1/...), as for installed pages,
# and only then breaks Japanese lines: a Japanese page elsewhere warns "can't break line".
#
#   man_pages.sh PAGE...
set -eu
status=0
for page in "$@"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
    if [ -n "$warnings" ]; then
        echo "$page:" >&2
        echo "$warnings" >&2
        status=1
    fi
done
exit $status
