#!/bin/sh
# Gathers what both lanes built into one release folder:
#
#   OUT/windows/Yawp-Wah-VERSION-win64-setup.exe      the Windows installer
#   OUT/windows/Yawp-Wah-VERSION-win64.zip            the portable archive
#   OUT/windows/vst3/Yawp Wah.vst3   OUT/windows/lv2/yawp-wah.lv2
#   OUT/windows/clap/Yawp Wah        the CLAP folder (module, page, loader)
#   OUT/linux/yawp-wah_VERSION_amd64.deb              the Debian package
#   OUT/linux/Yawp-Wah-VERSION-linux-x86_64.tar.xz    the portable archive
#   OUT/linux/vst3/Yawp Wah.vst3     OUT/linux/lv2/yawp-wah.lv2
#   OUT/linux/clap/Yawp Wah          the CLAP folder (module, page, helper)
#   OUT/<lane>/vst3-presets/Tallow.AUDIO/Yawp Wah/<Category>/<Name>.vstpreset
#   OUT/README.txt                   what each file is, and where a
#                                    musician installs the bundles
#   OUT/Yawp Wah Manual.html         the musician's manual (also in both
#                                    archives, the installer and the package)
#
#   package.sh [OUT [LINUX_BUILD [WINDOWS_BUILD]]]
#
# OUT defaults to dist/, the build folders to build/linux and build/windows.
# Anything else in OUT (the demo) is left alone.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
out=${1:-$root/dist}
linux_build=${2:-$root/build/linux}
windows_build=${3:-$root/build/windows}

vst3_bundle="Yawp Wah.vst3"
manual_name="Yawp Wah Manual.html"
lv2_bundle="yawp-wah.lv2"
clap_folder="Yawp Wah"
preset_folder="Tallow.AUDIO/Yawp Wah"
loader=WebView2Loader.dll

fail() {
    echo "package: $*" >&2
    exit 1
}

# package_lane LANE BUILD_DIR: the lane's two bundles and its CLAP folder,
# as the build left them.
package_lane() {
    lane=$1
    plugins=$2/plugins
    [ -d "$plugins/vst3/$vst3_bundle" ] || fail "no VST3 bundle in $plugins/vst3: build the $lane lane first"
    [ -d "$plugins/lv2/$lv2_bundle" ] || fail "no LV2 bundle in $plugins/lv2: build the $lane lane first"
    [ -d "$plugins/clap/$clap_folder" ] || fail "no CLAP folder in $plugins/clap: build the $lane lane first"
    rm -rf "${out:?}/$lane"
    mkdir -p "$out/$lane/vst3" "$out/$lane/lv2" "$out/$lane/clap"
    cp -R "$plugins/vst3/$vst3_bundle" "$out/$lane/vst3/"
    cp -R "$plugins/lv2/$lv2_bundle" "$out/$lane/lv2/"
    cp -R "$plugins/clap/$clap_folder" "$out/$lane/clap/"
    # The factory presets, laid out as in the hosts' VST3 preset folders.
    [ -d "$plugins/vst3-presets" ] || fail "no VST3 presets in $plugins: build the $lane lane first"
    mkdir -p "$out/$lane/vst3-presets/$preset_folder"
    cp -R "$plugins/vst3-presets/." "$out/$lane/vst3-presets/$preset_folder/"
}

# The manual, as the Linux lane built it.
copy_manual() {
    manual="$linux_build/manual/$manual_name"
    [ -f "$manual" ] || fail "no manual $manual: build the linux lane first"
    cp "$manual" "$out/$manual_name"
}

# The Windows lane's installer, as its build made it. make-installer.sh
# leaves a copy of the manual it packed beside its scratch files: it must
# be the manual of this release.
copy_installer() {
    installer="$windows_build/installer/Yawp-Wah-$version-win64-setup.exe"
    [ -f "$installer" ] || fail "no installer $installer: build the windows lane first"
    cmp -s "$installer.d/$manual_name" "$out/$manual_name" ||
        fail "the installer does not carry this manual: build the linux lane, then the windows lane"
    cp "$installer" "$out/windows/"
}

# The Debian package, made by CPack from the Linux lane's install rules.
make_deb() {
    scratch=$(mktemp -d)
    cpack --config "$linux_build/CPackConfig.cmake" -B "$scratch" >"$scratch/cpack.log" 2>&1 || {
        cat "$scratch/cpack.log" >&2
        rm -rf "$scratch"
        fail "cpack could not make the Debian package"
    }
    mv "$scratch/yawp-wah_${version}_amd64.deb" "$out/linux/" || fail "cpack made no yawp-wah_${version}_amd64.deb"
    rm -rf "$scratch"
}

# archive LANE NAME TOOL: the lane's bundles, CLAP folder and presets, the readme and
# the licence in one folder NAME, packed by TOOL (zip or tar.xz) into
# OUT/LANE/NAME.zip or NAME.tar.xz.
archive() {
    lane=$1
    name=$2
    tool=$3
    stage=$(mktemp -d)
    mkdir "$stage/$name"
    cp -R "$out/$lane/vst3" "$out/$lane/lv2" "$out/$lane/clap" "$out/$lane/vst3-presets" "$stage/$name/"
    cp "$out/README.txt" "$stage/$name/README.txt"
    cp "$root/installers/LICENSE.txt" "$stage/$name/LICENSE.txt"
    cp "$out/$manual_name" "$stage/$name/$manual_name"
    if [ "$tool" = zip ]; then
        # Windows shows text files best with CRLF line ends.
        for text in README.txt LICENSE.txt; do
            sed 's/$/\r/' "$stage/$name/$text" >"$stage/$text" && mv "$stage/$text" "$stage/$name/$text"
        done
        rm -f "$out/$lane/$name.zip"
        (cd "$stage" && zip -q -r -X "$out/$lane/$name.zip" "$name") || fail "zip failed"
    else
        tar -C "$stage" --owner=0 --group=0 --numeric-owner --sort=name -cJf "$out/$lane/$name.tar.xz" "$name" ||
            fail "tar failed"
    fi
    rm -rf "$stage"
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux_build/CMakeCache.txt" 2>/dev/null)
[ -n "$version" ] || fail "no project version in $linux_build/CMakeCache.txt: build the linux lane first"

mkdir -p "$out"
out=$(cd "$out" && pwd)
package_lane windows "$windows_build"
package_lane linux "$linux_build"
cp "$here/dist-README.txt" "$out/README.txt"
copy_manual
copy_installer
make_deb
archive windows "Yawp-Wah-$version-win64" zip
archive linux "Yawp-Wah-$version-linux-x86_64" tar.xz

echo "package: release files in $out:"
(cd "$out" && ls -l "$manual_name" windows/*.exe windows/*.zip linux/*.deb linux/*.tar.xz)
# Microsoft's loader is optional: without it the editors find the installed
# WebView2 runtime themselves.
if [ -f "$out/windows/vst3/$vst3_bundle/Contents/x86_64-win/$loader" ]; then
    echo "package: the Windows bundles and CLAP folder carry $loader, which their editors use first"
else
    echo "package: the Windows bundles and CLAP folder carry no $loader (optional):" \
        "their editors use the installed WebView2 runtime"
fi
