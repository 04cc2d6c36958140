#!/bin/sh
# Gathers the plug-in bundles both lanes built into one release folder:
#
#   OUT/windows/vst3/Yawp Wah.vst3   OUT/windows/lv2/yawp-wah.lv2
#   OUT/linux/vst3/Yawp Wah.vst3     OUT/linux/lv2/yawp-wah.lv2
#   OUT/<lane>/vst3-presets/Tallow.AUDIO/Yawp Wah/<Category>/<Name>.vstpreset
#   OUT/README.txt                   where a musician installs them
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
lv2_bundle="yawp-wah.lv2"
preset_folder="Tallow.AUDIO/Yawp Wah"
loader=WebView2Loader.dll

fail() {
    echo "package: $*" >&2
    exit 1
}

# package_lane LANE BUILD_DIR: the lane's two bundles, as the build left them.
package_lane() {
    lane=$1
    plugins=$2/plugins
    [ -d "$plugins/vst3/$vst3_bundle" ] || fail "no VST3 bundle in $plugins/vst3: build the $lane lane first"
    [ -d "$plugins/lv2/$lv2_bundle" ] || fail "no LV2 bundle in $plugins/lv2: build the $lane lane first"
    rm -rf "${out:?}/$lane"
    mkdir -p "$out/$lane/vst3" "$out/$lane/lv2"
    cp -R "$plugins/vst3/$vst3_bundle" "$out/$lane/vst3/"
    cp -R "$plugins/lv2/$lv2_bundle" "$out/$lane/lv2/"
    # The factory presets, laid out as in the hosts' VST3 preset folders.
    [ -d "$plugins/vst3-presets" ] || fail "no VST3 presets in $plugins: build the $lane lane first"
    mkdir -p "$out/$lane/vst3-presets/$preset_folder"
    cp -R "$plugins/vst3-presets/." "$out/$lane/vst3-presets/$preset_folder/"
}

mkdir -p "$out"
package_lane windows "$windows_build"
package_lane linux "$linux_build"
cp "$here/dist-README.txt" "$out/README.txt"

echo "package: release bundles in $out"
if [ ! -f "$out/windows/vst3/$vst3_bundle/Contents/x86_64-win/$loader" ] ||
    [ ! -f "$out/windows/lv2/$lv2_bundle/$loader" ]; then
    cat >&2 <<EOF
package: NOTE: the Windows bundles lack $loader, Microsoft's WebView2
package: loader. The plug-ins load and process audio, but their editors
package: will not open until $loader (x64) is put into
package:   $out/windows/vst3/$vst3_bundle/Contents/x86_64-win/
package:   $out/windows/lv2/$lv2_bundle/
package: Configure the Windows lane with -DYAWP_WEBVIEW2_LOADER=/path/to/$loader
package: (or run YAWP_WEBVIEW2_LOADER=/path/to/$loader ./build.sh demo) to
package: have the build copy it in; see README.txt.
EOF
fi
