#!/bin/sh
# Every flag that bash completes for `orva-cli batch` is listed by --help and in the manual
# pages of both languages.
#
#   batch_flags_listed.sh ORVA_CLI COMPLETION PAGE...
set -eu
cli="$1"
completion="$2"
shift 2
help=$("$cli" --help)
flags=$(sed -n '/^        batch)/,/;;/p' "$completion" | grep -o -- '--[a-z0-9-]*' | grep -vx -- '--')
[ -n "$flags" ] || { echo "no flags found in $completion" >&2; exit 1; }
status=0
for flag in $flags; do
    printf '%s\n' "$help" | grep -q -- "$flag" || { echo "--help lacks $flag" >&2; status=1; }
    for page in "$@"; do
        sed 's/\\-/-/g' "$page" | grep -q -- "$flag" || { echo "$page lacks $flag" >&2; status=1; }
    done
done
exit $status
