#!/usr/bin/env bash
# CI step: the Debian package. Builds it with `./setup.sh package` (from the default build
# already there), checks it with lintian (no errors), desktop-file-validate and appstreamcli,
# checks its contents, Depends and manual pages, then unpacks it into a scratch root and
# starts the unpacked launcher under Xvfb with a scratch HOME: the window must come up, the E
# key end it, and state.txt and state-extra.txt land in the user's data folder. The start must
# print nothing; on a machine without a sound card its message box says so, and is closed first.
set -euo pipefail

fail() {
    echo "package: $*"
    exit 1
}

root=$(cd "$(dirname "$0")/../.." && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$root/setup.sh" package >"$scratch/package.log" 2>&1 || {
    cat "$scratch/package.log"
    fail "./setup.sh package failed"
}
deb=$(tail -n 1 "$scratch/package.log")
[ -f "$deb" ] || fail "./setup.sh package did not end with the package's path: $deb"
[ "$(basename "$deb")" = tarvo-tuner_1.02-1_amd64.deb ] || fail "unexpected name $deb"
echo "package: built $deb"

# Errors fail; warnings are shown.
status=0
lintian --fail-on error "$deb" >"$scratch/lintian" 2>&1 || status=$?
grep -v '^running with root privileges' "$scratch/lintian" || true
[ "$status" -eq 0 ] || fail "lintian reports errors (exit $status)"
echo "package: lintian reports no error"

dpkg-deb -x "$deb" "$scratch/root"
usr="$scratch/root/usr"
for file in bin/tarvo-tuner bin/tarvo-analyse libexec/tarvo/tarvo-tuner share/tarvo/tarvohelp.htm \
    share/tarvo/TarvoLogo.bmp share/tarvo/TarvoLogoOp.bmp share/tarvo/NotesClr.bmp \
    share/tarvo/NotesBev.bmp share/tarvo/NumClr.bmp share/tarvo/NumBev.bmp share/tarvo/Label.bmp \
    share/tarvo/Circle.bmp share/applications/tarvo-tuner.desktop \
    share/icons/hicolor/scalable/apps/tarvo-tuner.svg share/metainfo/com.tarvo.tuner.metainfo.xml \
    share/man/man1/tarvo-tuner.1.gz share/man/man1/tarvo-analyse.1.gz \
    share/doc/tarvo-tuner/copyright share/doc/tarvo-tuner/changelog.Debian.gz; do
    [ -e "$usr/$file" ] || fail "missing /usr/$file"
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libportaudio2 libfftw3-single3 libsndfile1 libsoxr0 libasound2 \
    libpulse0; do
    case "$depends" in *"$lib "*) ;; *) fail "Depends lacks $lib: $depends" ;; esac
done
echo "package: contents in place; Depends: $depends"

desktop=$(desktop-file-validate "$usr/share/applications/tarvo-tuner.desktop" 2>&1) ||
    fail "desktop-file-validate: $desktop"
[ -z "$desktop" ] || fail "desktop-file-validate: $desktop"
appstreamcli validate --no-net "$usr/share/metainfo/com.tarvo.tuner.metainfo.xml" ||
    fail "appstreamcli validate failed"
echo "package: desktop-file-validate and appstreamcli validate pass"

# Every option the unpacked tarvo-analyse lists is in its manual page; it analyses a recording
# and prints nothing else.
analyse="$usr/bin/tarvo-analyse"
manual=$(zcat "$usr/share/man/man1/tarvo-analyse.1.gz" | sed 's/\\-/-/g')
for option in $("$analyse" --help | grep -oE '(^| )--?[a-z][a-z-]*' | sort -u); do
    grep -qF -- "$option" <<<"$manual" || fail "tarvo-analyse's manual page lacks $option"
done
zcat "$usr/share/man/man1/tarvo-tuner.1.gz" | grep -q '^tarvo-tuner \\- ' ||
    fail "tarvo-tuner's manual page has no NAME line"
sox -n -r 11025 -b 16 -c 1 "$scratch/a3.wav" synth 2 sawtooth 220 vol 0.5
"$analyse" --summary "$scratch/a3.wav" >"$scratch/summary" 2>"$scratch/analyse.err"
[ ! -s "$scratch/analyse.err" ] || fail "tarvo-analyse printed: $(cat "$scratch/analyse.err")"
grep -q ': A3 ' "$scratch/summary" || fail "tarvo-analyse: $(cat "$scratch/summary")"
echo "package: manual pages match --help; tarvo-analyse reads A3 quietly"

home="$scratch/home"
mkdir -p "$home" "$scratch/runtime"
chmod 700 "$scratch/runtime"
(
    export HOME="$home" XDG_RUNTIME_DIR="$scratch/runtime"
    unset XDG_DATA_HOME TARVO_SIMULATED_INPUT TARVO_AUDIO_DEBUG
    cd /
    bash "$root/tests/common/start_and_exit.sh" "$usr/bin/tarvo-tuner" "$scratch/tuner.out"
) || fail "the unpacked launcher did not run: $(cat "$scratch/tuner.out" 2>/dev/null)"
data="$home/.local/share/tarvo"
head -1 "$data/state.txt" 2>/dev/null |
    grep -qx 'USED DIRECTLY BY TARVO GUITAR TUNER, DO NOT EDIT!' || fail "no state.txt in $data"
head -1 "$data/state-extra.txt" 2>/dev/null | grep -q '^# Tarvo Instrument Tuner' ||
    fail "no state-extra.txt in $data"
[ ! -s "$scratch/tuner.out" ] || fail "the tuner printed: $(cat "$scratch/tuner.out")"
echo "package: the unpacked launcher ran the tuner quietly; E ended it; state files in $data"
echo "package: errorlog.txt: $(cut -d: -f3- "$data/errorlog.txt" | tr '\n' ';')"
