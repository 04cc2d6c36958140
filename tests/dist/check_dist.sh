#!/bin/sh
# Checks a release folder made by cmake/package.sh: every bundle and CLAP
# folder in its place with its module, description and page, modules of the
# right kind exporting only their entry points, every description valid,
# the Linux plug-ins working in the test hosts (the VST3 test host, lilv and
# the CLAP preset test), and the installer, the package and the two archives
# there with every format inside, the Linux archive's plug-ins working once
# unpacked; the manual the Linux lane built at the top and in both archives
# and the package.
#
#   check_dist.sh DIST LINUX_BUILD
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
dist=$(cd "${1:?release folder}" && pwd) || exit 1
linux_build=$(cd "${2:?Linux build folder}" && pwd) || exit 1
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

need_file() {
    [ -f "$1" ] || fail "missing file $1"
}

# The page, file for file as in resources/ (the preset sources stay behind).
need_page() {
    folder=$1
    [ -e "$folder/presets" ] && fail "preset sources in $folder"
    (cd "$root/resources" && find . -path ./presets -prune -o -type f -print) | while read -r file; do
        cmp -s "$root/resources/$file" "$folder/$file" || echo "$folder/$file"
    done >"$dist.page-diff"
    [ -s "$dist.page-diff" ] && fail "page files missing or different: $(cat "$dist.page-diff")"
    rm -f "$dist.page-diff"
}

need_type() {
    file -b "$1" | grep -q "$2" || fail "$1 is not $2: $(file -b "$1")"
}

win_vst3="$dist/windows/vst3/Yawp Wah.vst3/Contents"
win_lv2="$dist/windows/lv2/yawp-wah.lv2"
linux_vst3="$dist/linux/vst3/Yawp Wah.vst3/Contents"
linux_lv2="$dist/linux/lv2/yawp-wah.lv2"
win_clap="$dist/windows/clap/Yawp Wah"
linux_clap="$dist/linux/clap/Yawp Wah"
clap_module="Yawp Wah.clap"

manual_name="Yawp Wah Manual.html"

echo "--- layout"
need_file "$dist/README.txt"
need_file "$dist/$manual_name"
cmp -s "$linux_build/manual/$manual_name" "$dist/$manual_name" || fail "the manual is not the one the Linux lane built"
need_file "$win_vst3/x86_64-win/Yawp Wah.vst3"
need_page "$win_vst3/Resources"
for f in tallow-yawp-wah.dll manifest.ttl yawp-wah.ttl; do need_file "$win_lv2/$f"; done
need_page "$win_lv2"
need_file "$linux_vst3/x86_64-linux/Yawp Wah.so"
need_file "$linux_vst3/x86_64-linux/yawp-wah-editor"
need_page "$linux_vst3/Resources"
for f in tallow-yawp-wah.so yawp-wah-editor manifest.ttl yawp-wah.ttl; do need_file "$linux_lv2/$f"; done
need_page "$linux_lv2"
need_file "$win_clap/$clap_module"
need_page "$win_clap/Resources"
need_file "$linux_clap/$clap_module"
need_file "$linux_clap/yawp-wah-editor"
need_page "$linux_clap/Resources"
# The factory presets: presets.ttl in each LV2 bundle, and one .vstpreset
# per preset file in each lane's preset folder.
preset_count=$(find "$root/resources/presets" -name '*.json' | wc -l)
for lane in windows linux; do
    need_file "$dist/$lane/lv2/yawp-wah.lv2/presets.ttl"
    found=$(find "$dist/$lane/vst3-presets/Tallow.AUDIO/Yawp Wah" -mindepth 2 -maxdepth 2 -name '*.vstpreset' 2>/dev/null | wc -l)
    [ "$found" -eq "$preset_count" ] || fail "$lane: $found .vstpreset files for $preset_count presets"
done
# Microsoft's loader is in both Windows bundles and the CLAP folder, or in
# none of them.
vst3_loader=no
lv2_loader=no
clap_loader=no
[ -f "$win_vst3/x86_64-win/WebView2Loader.dll" ] && vst3_loader=yes
[ -f "$win_lv2/WebView2Loader.dll" ] && lv2_loader=yes
[ -f "$win_clap/WebView2Loader.dll" ] && clap_loader=yes
[ "$vst3_loader" = "$lv2_loader" ] && [ "$vst3_loader" = "$clap_loader" ] ||
    fail "WebView2Loader.dll in some Windows plug-ins only (VST3 $vst3_loader, LV2 $lv2_loader, CLAP $clap_loader)"
echo "WebView2Loader.dll in the Windows plug-ins: $vst3_loader"

echo "--- modules"
need_type "$win_vst3/x86_64-win/Yawp Wah.vst3" "PE32+ executable (DLL).*x86-64"
need_type "$win_lv2/tallow-yawp-wah.dll" "PE32+ executable (DLL).*x86-64"
need_type "$linux_vst3/x86_64-linux/Yawp Wah.so" "ELF 64-bit LSB shared object, x86-64"
need_type "$linux_lv2/tallow-yawp-wah.so" "ELF 64-bit LSB shared object, x86-64"
need_type "$win_clap/$clap_module" "PE32+ executable (DLL).*x86-64"
need_type "$linux_clap/$clap_module" "ELF 64-bit LSB shared object, x86-64"
for helper in "$linux_vst3/x86_64-linux/yawp-wah-editor" "$linux_lv2/yawp-wah-editor" \
    "$linux_clap/yawp-wah-editor"; do
    need_type "$helper" "ELF 64-bit LSB pie executable, x86-64"
    [ -x "$helper" ] || fail "$helper is not executable"
done
sh "$root/tests/vst3/check_exports.sh" x86_64-w64-mingw32-objdump "$win_vst3/x86_64-win/Yawp Wah.vst3" ||
    fail "Windows VST3 exports"
sh "$root/tests/vst3/check_exports.sh" nm "$linux_vst3/x86_64-linux/Yawp Wah.so" || fail "Linux VST3 exports"
sh "$root/tests/lv2host/check_exports.sh" "$linux_lv2/tallow-yawp-wah.so" || fail "Linux LV2 exports"
lv2_exports=$(x86_64-w64-mingw32-objdump -p "$win_lv2/tallow-yawp-wah.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | tr '\n' ' ')
echo "Windows LV2 exported: $lv2_exports"
[ "$lv2_exports" = "lv2_descriptor lv2ui_descriptor " ] || fail "Windows LV2 exports"
# A CLAP module exports clap_entry and nothing else.
clap_exports=$(x86_64-w64-mingw32-objdump -p "$win_clap/$clap_module" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p' | tr '\n' ' ')
echo "Windows CLAP exported: $clap_exports"
[ "$clap_exports" = "clap_entry " ] || fail "Windows CLAP exports"
clap_exports=$(nm -D --defined-only "$linux_clap/$clap_module" | awk '{ print $NF }' | tr '\n' ' ')
echo "Linux CLAP exported: $clap_exports"
[ "$clap_exports" = "clap_entry " ] || fail "Linux CLAP exports"

echo "--- descriptions"
sh "$root/tests/lv2host/validate_bundle.sh" "$win_lv2" || fail "Windows LV2 description"
sh "$root/tests/lv2host/validate_bundle.sh" "$linux_lv2" || fail "Linux LV2 description"
grep -q "ui:WindowsUI" "$win_lv2/manifest.ttl" || fail "the Windows manifest declares no UI"
grep -q "ui:binary <tallow-yawp-wah.dll>" "$win_lv2/manifest.ttl" || fail "the Windows UI is not in the module"
grep -q "ui:X11UI" "$linux_lv2/manifest.ttl" || fail "the Linux manifest declares no X11 UI"
grep -q "ui:binary <tallow-yawp-wah.so>" "$linux_lv2/manifest.ttl" || fail "the Linux UI is not in the module"
grep -q "WindowsUI" "$linux_lv2/manifest.ttl" "$linux_lv2/yawp-wah.ttl" && fail "the Linux bundle declares a Windows UI"
grep -q "libwebkit2gtk-4.1-0" "$linux_lv2/yawp-wah.ttl" || fail "the Linux UI does not say what it needs"

echo "--- the Linux plug-ins in the test hosts"
YAWP_LV2_TEST_PATH="$dist/linux/lv2" "$linux_build/tests/lv2host/lv2_lilv_host" --gtest_brief=1 ||
    fail "the Linux LV2 bundle in lilv"
LV2_PATH="$dist/linux/lv2" sh "$root/tests/lv2host/host_tools.sh" bench || fail "the Linux LV2 bundle in lv2bench"
YAWP_VST3_TEST_MODULE="$linux_vst3/x86_64-linux/Yawp Wah.so" "$linux_build/tests/vst3/vst3_tests" --gtest_brief=1 ||
    fail "the Linux VST3 bundle"
YAWP_CLAP_TEST_MODULE="$linux_clap/$clap_module" "$linux_build/tests/clap_presets/clap_presets" --gtest_brief=1 ||
    fail "the Linux CLAP folder"

echo "--- installer, package and archives"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$linux_build/CMakeCache.txt")
setup="$dist/windows/Yawp-Wah-$version-win64-setup.exe"
deb="$dist/linux/yawp-wah_${version}_amd64.deb"
zip="$dist/windows/Yawp-Wah-$version-win64.zip"
tarball="$dist/linux/Yawp-Wah-$version-linux-x86_64.tar.xz"
for f in "$setup" "$deb" "$zip" "$tarball"; do
    need_file "$f"
done
need_type "$setup" "PE32+ executable (GUI) x86-64"
[ "$(dpkg-deb --field "$deb" Version 2>/dev/null)" = "$version" ] || fail "$deb is not version $version"
unzip -Z1 "$zip" >"$dist.zip-list" 2>/dev/null || fail "unzip cannot list $zip"
for f in "vst3/Yawp Wah.vst3/Contents/x86_64-win/Yawp Wah.vst3" "vst3/Yawp Wah.vst3/Contents/Resources/index.html" \
    lv2/yawp-wah.lv2/tallow-yawp-wah.dll lv2/yawp-wah.lv2/manifest.ttl "clap/Yawp Wah/$clap_module" \
    "clap/Yawp Wah/Resources/index.html" README.txt LICENSE.txt "$manual_name"; do
    grep -qxF "Yawp-Wah-$version-win64/$f" "$dist.zip-list" || fail "the zip archive lacks $f"
done
rm -f "$dist.zip-list"
dpkg-deb --contents "$deb" >"$dist.deb-list" 2>/dev/null || fail "dpkg-deb cannot list $deb"
grep -qF " ./usr/share/doc/yawp-wah/$manual_name" "$dist.deb-list" || fail "the package lacks the manual"
grep -qF " ./usr/lib/clap/Yawp Wah/$clap_module" "$dist.deb-list" || fail "the package lacks the CLAP module"
rm -f "$dist.deb-list"
# The Linux archive, unpacked, is a working plug-in folder.
unpacked=$(mktemp -d)
tar -C "$unpacked" -xJf "$tarball" || fail "tar cannot unpack $tarball"
top="$unpacked/Yawp-Wah-$version-linux-x86_64"
for f in "vst3/Yawp Wah.vst3/Contents/x86_64-linux/Yawp Wah.so" lv2/yawp-wah.lv2/tallow-yawp-wah.so \
    "clap/Yawp Wah/$clap_module" "clap/Yawp Wah/yawp-wah-editor" "clap/Yawp Wah/Resources/index.html" README.txt \
    LICENSE.txt "$manual_name"; do
    need_file "$top/$f"
done
cmp -s "$dist/$manual_name" "$top/$manual_name" || fail "the Linux archive's manual differs"
YAWP_LV2_TEST_PATH="$top/lv2" "$linux_build/tests/lv2host/lv2_lilv_host" --gtest_brief=1 ||
    fail "the LV2 plug-in from the Linux archive in lilv"
[ -x "$top/clap/Yawp Wah/yawp-wah-editor" ] || fail "the Linux archive's CLAP editor helper is not executable"
YAWP_CLAP_TEST_MODULE="$top/clap/Yawp Wah/$clap_module" "$linux_build/tests/clap_presets/clap_presets" --gtest_brief=1 ||
    fail "the CLAP plug-in from the Linux archive"
rm -rf "$unpacked"

[ $status -eq 0 ] && echo "the release folder is complete"
exit $status
