#!/bin/sh
# Builds the Windows installer with NSIS's makensis from two bundle folders
# and the CLAP folder, a folder of factory presets (CATEGORY/NAME.vstpreset) and the manual; given
# no presets, or an empty folder, the installer carries no presets, and
# given no manual, or one that does not exist (yet), none:
#
#   make-installer.sh OUT VERSION VST3_BUNDLE LV2_BUNDLE CLAP_FOLDER [PRESETS [MANUAL]]
#
# OUT is the installer to write; its scratch files go into OUT.d/, with a
# copy of the manual it packed ("Yawp Wah Manual.html"), which
# cmake/package.sh compares with the release's.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?installer to write}
version=${2:?version}
vst3=${3:?VST3 bundle}
lv2=${4:?LV2 bundle}
clap=${5:?CLAP folder}
presets=${6:-}
manual=${7:-}
manual_name="Yawp Wah Manual.html"

fail() {
    echo "make-installer: $*" >&2
    exit 1
}

[ -d "$vst3" ] || fail "no VST3 bundle at $vst3"
[ -d "$lv2" ] || fail "no LV2 bundle at $lv2"
[ -d "$clap" ] || fail "no CLAP folder at $clap"
# The installer names the folder "Yawp Wah" wherever it was built.
[ "$(basename "$clap")" = "Yawp Wah" ] || fail "the CLAP folder $clap is not named \"Yawp Wah\""
command -v makensis >/dev/null || fail "makensis is missing (Debian package nsis)"

scratch="$out.d"
rm -rf "$scratch"
mkdir -p "$scratch" "$(dirname "$out")"
scratch=$(cd "$scratch" && pwd)
out="$(cd "$(dirname "$out")" && pwd)/$(basename "$out")"

# Windows shows text files best with CRLF line ends.
sed 's/$/\r/' "$root/installers/LICENSE.txt" >"$scratch/LICENSE.txt"
sed 's/$/\r/' "$root/cmake/dist-README.txt" >"$scratch/README.txt"

# nsis_text TEXT: TEXT as it may stand inside an NSIS string ($ doubled).
nsis_text() {
    printf '%s' "$1" | sed 's/\$/$$/g'
}

# The factory presets: one File line per preset to install, one Delete
# line per preset to uninstall, then the category folders if left empty.
defines=""
: >"$scratch/presets-install.nsh"
: >"$scratch/presets-uninstall.nsh"
if [ -n "$presets" ] && [ -d "$presets" ]; then
    presets=$(cd "$presets" && pwd)
    (cd "$presets" && find . -type f -name '*.vstpreset' | sed 's|^\./||' | LC_ALL=C sort) >"$scratch/presets.list"
    if [ -s "$scratch/presets.list" ]; then
        defines="-DHAVE_PRESETS"
        # The installer takes each preset from a copy with a plain name, so
        # that no character of a preset's name means anything to makensis.
        mkdir "$scratch/presets"
        n=0
        while IFS= read -r file; do
            n=$((n + 1))
            cp "$presets/$file" "$scratch/presets/$n.vstpreset"
            folder=$(dirname "$file")
            windows_folder=$(nsis_text "$folder" | tr / '\\')
            windows_file=$(nsis_text "$file" | tr / '\\')
            if [ "$folder" = . ]; then windows_folder=""; else windows_folder="\\$windows_folder"; fi
            printf 'SetOutPath "$PresetFolder%s"\nFile "/oname=%s" "%s"\n' "$windows_folder" \
                "$(nsis_text "$(basename "$file")")" "$scratch/presets/$n.vstpreset" >>"$scratch/presets-install.nsh"
            printf 'Delete "$PresetFolder\\%s"\n' "$windows_file" >>"$scratch/presets-uninstall.nsh"
        done <"$scratch/presets.list"
        # Deepest folders first, so that parents can go once empty.
        awk -F/ '{ p = $1; for (i = 2; i <= NF; i++) { print p; p = p "/" $i } }' "$scratch/presets.list" |
            LC_ALL=C sort -u -r | while IFS= read -r folder; do
            printf 'RMDir "$PresetFolder\\%s"\n' "$(nsis_text "$folder" | tr / '\\')" >>"$scratch/presets-uninstall.nsh"
        done
    fi
fi

# The manual, installed beside the licence with a shortcut in the Start menu.
if [ -n "$manual" ] && [ -f "$manual" ]; then
    cp "$manual" "$scratch/$manual_name"
    defines="$defines -DHAVE_MANUAL"
elif [ -n "$manual" ]; then
    echo "make-installer: no manual at $manual (the linux lane builds it): this installer carries none" >&2
fi

# shellcheck disable=SC2086
makensis -V2 -NOCD \
    "-DVERSION=$version" \
    "-DOUTFILE=$out" \
    "-DVST3_BUNDLE=$(cd "$vst3" && pwd)" \
    "-DLV2_BUNDLE=$(cd "$lv2" && pwd)" \
    "-DCLAP_FOLDER=$(cd "$clap" && pwd)" \
    "-DLICENSE_FILE=$scratch/LICENSE.txt" \
    "-DREADME_FILE=$scratch/README.txt" \
    "-DMANUAL_FILE=$scratch/$manual_name" \
    "-DGENERATED=$scratch" \
    $defines \
    "$here/yawp-wah.nsi" >"$scratch/makensis.log" 2>&1 || {
    cat "$scratch/makensis.log" >&2
    fail "makensis failed"
}
echo "make-installer: $out"
