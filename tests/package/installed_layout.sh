#!/bin/sh
# Installs the build into a scratch prefix (the package's layout: bin/, lib/orva/, share/)
# and checks that the installed programs find what they need there: the encoder library
# (in-process MP3), the external encoder wrapper, the help, the icon, the menu entry and the
# manual pages, and that they tell the project's version.
#
#   installed_layout.sh BUILD_DIR VERSION [GUI]    (GUI=1 when the desktop program is built)
set -eu
build="$1"
version="$2"
gui="${3:-0}"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/usr"

fail() {
    echo "installed layout: $*" >&2
    exit 1
}

cmake --install "$build" --prefix "$prefix" >/dev/null

for file in bin/orva-cli bin/orva-cli-batch lib/orva/libgogo.so lib/orva/tools/scmpx-lame \
    share/man/man1/orva-cli.1.gz share/man/man1/orva-cli-batch.1.gz \
    share/man/ja/man1/orva-cli.1.gz share/man/ja/man1/orva-cli-batch.1.gz; do
    [ -e "$prefix/$file" ] || fail "$file is missing"
done
[ -x "$prefix/lib/orva/tools/scmpx-lame" ] || fail "scmpx-lame is not executable"
if [ "$gui" = 1 ]; then
    for file in bin/orva share/orva/help/index.htm share/orva/help/en/index.htm \
        share/applications/orva.desktop \
        share/icons/hicolor/scalable/apps/orva.svg share/metainfo/org.orva.orva.metainfo.xml \
        share/man/man1/orva.1.gz share/man/ja/man1/orva.1.gz; do
        [ -e "$prefix/$file" ] || fail "$file is missing"
    done
    # The menu entry starts the program by name and shows the installed icon.
    grep -qx 'Exec=orva' "$prefix/share/applications/orva.desktop" || fail "desktop entry: Exec"
    grep -qx 'Icon=orva' "$prefix/share/applications/orva.desktop" || fail "desktop entry: Icon"
    # The metainfo, its menu entry and icon as one tree.
    appstreamcli validate-tree --no-net "$work" >"$work/log" 2>&1 || { cat "$work/log" >&2; fail "appstream tree"; }
    [ "$("$prefix/bin/orva" --version)" = "orva $version" ] || fail "orva --version"
fi
[ "$("$prefix/bin/orva-cli" --version)" = "orva $version" ] || fail "orva-cli --version"

# A batch from the installed programs with either encoder; no key store, so the library has
# to be found in the installed private folder.
export XDG_CONFIG_HOME="$work/config" HOME="$work/home"
mkdir -p "$work/in" "$work/out1" "$work/out2" "$HOME"
sox -n -r 44100 -c 2 -b 16 "$work/in/tone.wav" synth 0.2 sine 440 vol 0.5
printf '[ENCODE]\r\nRATE=128\r\nENCODER=0\r\n' >"$work/gogo.ini"
printf '[ENCODE]\r\nRATE=128\r\nENCODER=1\r\nPATH=%s\r\n' "$prefix/lib/orva/tools/scmpx-lame" >"$work/lame.ini"
"$prefix/bin/orva-cli" batch --settings "$work/gogo.ini" --output "$work/out1" "$work/in/tone.wav" \
    >"$work/log" 2>&1 </dev/null || { cat "$work/log" >&2; fail "batch with the encoder library"; }
[ -s "$work/out1/tone.MP3" ] || fail "the encoder library wrote no MP3"
# The summary names the library that was loaded.
grep -qF "$prefix/lib/orva/libgogo.so" "$work/log" || { cat "$work/log" >&2; fail "summary: library path"; }
"$prefix/bin/orva-cli" batch --settings "$work/lame.ini" --output "$work/out2" "$work/in/tone.wav" \
    >"$work/log" 2>&1 </dev/null || { cat "$work/log" >&2; fail "batch with scmpx-lame"; }
[ -s "$work/out2/tone.MP3" ] || fail "scmpx-lame wrote no MP3"
