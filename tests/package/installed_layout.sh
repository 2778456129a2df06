#!/bin/sh
# Installs the build into a scratch prefix (the package's layout: bin/, lib/orva/, share/)
# and checks that the installed programs find what they need there: the encoder library
# (in-process MP3), the external encoder wrapper, the help, the icon, the menu entry and the
# manual pages, that they tell the project's version, and that outside Japanese locales they
# speak English.
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
    share/bash-completion/completions/orva-cli \
    share/man/man1/orva-cli.1.gz share/man/man1/orva-cli-batch.1.gz \
    share/man/ja/man1/orva-cli.1.gz share/man/ja/man1/orva-cli-batch.1.gz; do
    [ -e "$prefix/$file" ] || fail "$file is missing"
done
[ -x "$prefix/lib/orva/tools/scmpx-lame" ] || fail "scmpx-lame is not executable"
if [ "$gui" = 1 ]; then
    for file in bin/orva share/orva/help/index.htm share/orva/help/en/index.htm \
        share/applications/orva.desktop \
        share/icons/hicolor/scalable/apps/orva.svg share/metainfo/org.orva.orva.metainfo.xml \
        share/icons/hicolor/48x48/apps/orva.png share/icons/hicolor/256x256/apps/orva.png \
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

# Outside Japanese locales no message carries a Japanese character: failures of every kind,
# in both locales that choose English (the keys and file names here are ASCII).
sox -n -r 8000 -c 1 -e ima-adpcm "$work/in/adpcm.wav" synth 0.1 sine 440
head -c 30 "$work/in/tone.wav" >"$work/in/cut.wav"
echo text >"$work/in/text.wav"
printf '[ENCODE]\r\nRATE=128\r\nENCODER=1\r\nPATH=%s\r\n' "$work/no-encoder" >"$work/none.ini"
for locale in en_US.UTF-8 de_DE.UTF-8; do
    while read -r args; do
        # shellcheck disable=SC2086 # the arguments are split on purpose
        env -u LANGUAGE -u LC_ALL LANG="$locale" "$prefix/bin/orva-cli" $args >"$work/log" 2>&1 </dev/null || true
        if LC_ALL=C.UTF-8 grep -qP '[\x{3000}-\x{9fff}\x{ff00}-\x{ffef}]' "$work/log"; then
            cat "$work/log" >&2
            fail "Japanese under $locale: orva-cli $args"
        fi
    done <<CASES
probe $work/in/missing.wav
probe $work/in/text.wav
probe $work/in/cut.wav
peak $work/in/adpcm.wav
peak $work/in/cut.wav
normalize $work/in/cut.wav $work/out1/n.wav
normalize $work/in/tone.wav $work/missing/n.wav
normalize $work/in/cut.wav $work/out1/n.wav --mode loudness
normalize $work/in/tone.wav $work/out1/n.wav --mode true --target 9
analyze $work/in/tone.wav $work/in/cut.wav $work/in/missing.wav
resample $work/in/cut.wav $work/out1/r.wav 22050
settings --bogus
bogus
batch --output $work/missing $work/in/tone.wav
batch --output $work/out1 $work/in/adpcm.wav $work/in/text.wav $work/in/cut.wav $work/in/missing.wav
batch --settings $work/none.ini --output $work/out1 $work/in/tone.wav
CASES
done
