#!/bin/sh
# The Windows installer under wine, in a brand-new prefix of its own (the
# other Windows tests' prefix is never touched), the way a studio deploys
# it: silently, over an older version, then uninstalled, then once more
# with the LV2 and the CLAP plug-in alone into a folder of the studio's
# choosing. Every format lands in its shared folder (the CLAP folder
# "Yawp Wah" in Common Files\CLAP) and the installed plug-ins load. The
# installer must carry the manual the Linux lane built, install it beside
# the licence with a Start-menu shortcut, and the uninstaller remove both.
#
#   check_windows_installer.sh INSTALLER WINDOWS_BUILD SCRATCH
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
installer=${1:?installer}
build=$(cd "${2:?Windows build folder}" && pwd) || exit 1
scratch=${3:?scratch folder}
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

[ -f "$installer" ] || {
    echo "FAILED: no installer at $installer"
    exit 1
}
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
vst3_bundle="$build/plugins/vst3/Yawp Wah.vst3"
lv2_bundle="$build/plugins/lv2/yawp-wah.lv2"
clap_folder="$build/plugins/clap/Yawp Wah"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tallow.AUDIO Yawp Wah'

# A fresh prefix, with a wine server that ends when its programs do.
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)
export WINEPREFIX="$scratch/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
unset YAWP_WINESERVER_PERSISTENT
"$root/cmake/wine-run.sh" --init
trap 'wineserver -k 2>/dev/null' EXIT

drive_c="$WINEPREFIX/drive_c"
common="$drive_c/Program Files/Common Files"
preset_vendor="$drive_c/ProgramData/VST3 Presets/Tallow.AUDIO"
presets="$preset_vendor/Yawp Wah"
app="$drive_c/Program Files/Tallow.AUDIO/Yawp Wah"
uninstaller='C:\Program Files\Tallow.AUDIO\Yawp Wah\Uninstall Yawp Wah.exe'
manual_name="Yawp Wah Manual.html"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Yawp Wah Manual.lnk"
# The manual make-installer.sh packed (a copy beside its scratch files).
packed_manual="$installer.d/$manual_name"
[ -f "$packed_manual" ] || fail "the installer carries no manual: build the linux lane, then the windows lane"

# run_setup EXE ARGS...: runs an installer and waits for every program it
# started (an uninstaller runs from a copy of itself) to end.
run_setup() {
    wine "$@" </dev/null
    setup_status=$?
    wineserver -w
    return $setup_status
}

# The uninstall entry's values, one "NAME TYPE VALUE" line each; empty
# when there is no entry.
entry() {
    wine reg query "$key" </dev/null 2>/dev/null | tr -d '\r' | sed -n 's/^    //p'
}

entry_value() {
    entry | sed -n "s/^$1 *REG_[A-Z]* *//p"
}

# What the shared folders hold, file by file with checksums.
snapshot() {
    for folder in "$common/VST3" "$common/LV2" "$common/CLAP" "$drive_c/StudioPlugins" \
        "$drive_c/ProgramData/VST3 Presets" "$drive_c/Program Files/Tallow.AUDIO"; do
        [ -d "$folder" ] && (cd "$folder" && find . | LC_ALL=C sort | while IFS= read -r f; do
            if [ -f "$f" ]; then echo "$folder/$f $(md5sum <"$f" | cut -c1-32)"; else echo "$folder/$f/"; fi
        done)
    done
}

# same_tree BUILT INSTALLED: the installed bundle holds exactly the built one.
same_tree() {
    diff -r "$1" "$2" >"$scratch/tree.diff" 2>&1 || fail "$2 differs from the build: $(head -5 "$scratch/tree.diff")"
}

# The factory presets the lane built, which the installers carry.
factory_presets="$build/plugins/vst3-presets"

echo "--- the installers of this check"
# An older build whose bundles hold files the current one does not have,
# with presets the current one no longer ships.
mkdir -p "$scratch/old/presets/Old Category" "$scratch/old/presets/Test Category" "$scratch/old/clap"
cp -R "$vst3_bundle" "$lv2_bundle" "$scratch/old/"
cp -R "$clap_folder" "$scratch/old/clap/"
echo "old" >"$scratch/old/Yawp Wah.vst3/Contents/Resources/old-page.js"
echo "old" >"$scratch/old/yawp-wah.lv2/old-description.ttl"
echo "old" >"$scratch/old/clap/Yawp Wah/Resources/old-page.js"
echo "old" >"$scratch/old/presets/Old Category/Gone.vstpreset"
echo "old" >"$scratch/old/presets/Test Category/Test Preset.vstpreset"
sh "$root/installers/windows/make-installer.sh" "$scratch/old-setup.exe" 1.0.0.1 \
    "$scratch/old/Yawp Wah.vst3" "$scratch/old/yawp-wah.lv2" "$scratch/old/clap/Yawp Wah" "$scratch/old/presets" ||
    exit 1
# The current build with factory presets.
sh "$root/installers/windows/make-installer.sh" "$scratch/presets-setup.exe" "$version" \
    "$vst3_bundle" "$lv2_bundle" "$clap_folder" "$factory_presets" || exit 1
ls -l "$installer" "$scratch/old-setup.exe" "$scratch/presets-setup.exe"

echo "--- refuses a component it does not know"
run_setup "$installer" /S /COMPONENTS=vst3,aax
[ $setup_status -eq 2 ] || fail "an unknown component gave status $setup_status, not 2"
[ -z "$(entry)" ] && [ ! -e "$common/VST3/Yawp Wah.vst3" ] && [ ! -e "$common/CLAP/Yawp Wah" ] ||
    fail "the refused install installed something"

echo "--- another vendor's plug-ins in the shared folders"
mkdir -p "$common/VST3/Other Wah.vst3/Contents/x86_64-win" "$common/LV2/other-wah.lv2" "$common/CLAP/Other Wah" \
    "$preset_vendor/Other Product" "$drive_c/Program Files/Tallow.AUDIO/Other Product"
echo "decoy" >"$common/VST3/Other Wah.vst3/Contents/x86_64-win/Other Wah.vst3"
echo "decoy" >"$common/LV2/other-wah.lv2/manifest.ttl"
echo "decoy" >"$common/CLAP/Other Wah/Other Wah.clap"
echo "decoy" >"$preset_vendor/Other Product/Other.vstpreset"
echo "decoy" >"$drive_c/Program Files/Tallow.AUDIO/Other Product/readme.txt"
snapshot >"$scratch/before"

echo "--- silent install of an older build"
run_setup "$scratch/old-setup.exe" /S || fail "the older installer gave status $setup_status"
[ -f "$common/VST3/Yawp Wah.vst3/Contents/Resources/old-page.js" ] || fail "the older build is not installed"
[ -f "$common/CLAP/Yawp Wah/Resources/old-page.js" ] || fail "the older build's CLAP folder is not installed"
[ "$(entry_value DisplayVersion)" = 1.0.0.1 ] || fail "the older build's entry says $(entry_value DisplayVersion)"

echo "--- silent install of this build over it"
run_setup "$installer" /S || fail "the installer gave status $setup_status"
same_tree "$vst3_bundle" "$common/VST3/Yawp Wah.vst3"
same_tree "$lv2_bundle" "$common/LV2/yawp-wah.lv2"
same_tree "$clap_folder" "$common/CLAP/Yawp Wah"
for f in LICENSE.txt README.txt "$manual_name" "Uninstall Yawp Wah.exe"; do
    [ -f "$app/$f" ] || fail "missing $app/$f"
done
cmp -s "$packed_manual" "$app/$manual_name" || fail "the installed manual is not the one packed"
[ -f "$shortcut" ] || fail "no Start-menu shortcut to the manual"
[ -d "$presets/Old Category" ] && fail "the older build's presets are still there"
same_tree "$factory_presets" "$presets"

echo "--- the uninstall entry"
entry | tee "$scratch/entry"
[ "$(entry_value DisplayName)" = "Yawp Wah" ] || fail "DisplayName"
[ "$(entry_value DisplayVersion)" = "$version" ] || fail "DisplayVersion is not $version"
[ "$(entry_value Publisher)" = "Tallow.AUDIO" ] || fail "Publisher"
[ "$(entry_value UninstallString)" = "\"$uninstaller\"" ] || fail "UninstallString"
[ "$(entry_value QuietUninstallString)" = "\"$uninstaller\" /S" ] || fail "QuietUninstallString"
[ "$(entry_value DisplayIcon)" = "$uninstaller,0" ] || fail "DisplayIcon"
[ "$(entry_value CLAPFolder)" = 'C:\Program Files\Common Files\CLAP\Yawp Wah' ] ||
    fail "CLAPFolder is $(entry_value CLAPFolder)"
size=$(entry_value EstimatedSize)
[ -n "$size" ] && [ $((size)) -gt 100 ] || fail "EstimatedSize is \"$size\" (kilobytes)"

echo "--- the VST3 test host loads the installed bundle"
YAWP_VST3_TEST_MODULE='C:\Program Files\Common Files\VST3\Yawp Wah.vst3\Contents\x86_64-win\Yawp Wah.vst3' \
    wine "$build/tests/vst3/vst3_tests.exe" --gtest_brief=1 \
    --gtest_filter='Vst3Module.LoadsFromTheBundleAndFindsItsFolders:Vst3Factory.*:Vst3Processor.*' </dev/null ||
    fail "the installed VST3 plug-in in the test host"

echo "--- the installed VST3 editor opens through the installed WebView2 runtime (the test double)"
YAWP_VST3_TEST_MODULE='C:\Program Files\Common Files\VST3\Yawp Wah.vst3\Contents\x86_64-win\Yawp Wah.vst3' \
    wine "$build/tests/vst3/vst3_editor.exe" --gtest_brief=1 \
    --gtest_filter='Vst3EditorWithoutLoader.TheInstalledRuntimeOpensThePageAndCarriesAPedalGesture' </dev/null ||
    fail "the installed VST3 editor through the WebView2 runtime"

echo "--- the CLAP test host loads the installed module and its presets"
YAWP_CLAP_TEST_MODULE='C:\Program Files\Common Files\CLAP\Yawp Wah\Yawp Wah.clap' \
    wine "$build/tests/clap_presets/clap_presets.exe" --gtest_brief=1 </dev/null ||
    fail "the installed CLAP plug-in in the test host"

echo "--- reinstalling the same version, with factory presets"
run_setup "$scratch/presets-setup.exe" /S || fail "the installer with presets gave status $setup_status"
same_tree "$factory_presets" "$presets"
same_tree "$vst3_bundle" "$common/VST3/Yawp Wah.vst3"
same_tree "$clap_folder" "$common/CLAP/Yawp Wah"
[ -f "$presets/Old Category/Gone.vstpreset" ] && fail "a stale preset came back"

echo "--- silent uninstall"
# A preset the musician saved beside the factory ones is theirs.
echo "mine" >"$presets/My Own.vstpreset"
run_setup "$uninstaller" /S || fail "the uninstaller gave status $setup_status"
snapshot >"$scratch/after"
{
    cat "$scratch/before"
    echo "$drive_c/ProgramData/VST3 Presets/./Tallow.AUDIO/Yawp Wah/"
    echo "$drive_c/ProgramData/VST3 Presets/./Tallow.AUDIO/Yawp Wah/My Own.vstpreset $(echo mine | md5sum | cut -c1-32)"
} | LC_ALL=C sort >"$scratch/expected"
LC_ALL=C sort "$scratch/after" | diff "$scratch/expected" - >"$scratch/uninstall.diff" ||
    fail "after uninstalling, the shared folders are not as before: $(cat "$scratch/uninstall.diff")"
[ -z "$(entry)" ] || fail "the uninstall entry is still there"
[ -e "$shortcut" ] && fail "the uninstaller left the manual's shortcut"
[ -e "$app/$manual_name" ] && fail "the uninstaller left the manual"
rm -f "$presets/My Own.vstpreset"
rmdir "$presets"

echo "--- the LV2 and the CLAP plug-in alone, into a folder of one's choosing"
run_setup "$installer" /S /COMPONENTS=lv2,clap '/D=C:\StudioPlugins' ||
    fail "the LV2 and CLAP install gave status $setup_status"
same_tree "$lv2_bundle" "$drive_c/StudioPlugins/LV2/yawp-wah.lv2"
same_tree "$clap_folder" "$drive_c/StudioPlugins/CLAP/Yawp Wah"
[ -e "$drive_c/StudioPlugins/VST3" ] && fail "a VST3 folder in the LV2 and CLAP install"
[ -e "$common/VST3/Yawp Wah.vst3" ] && fail "a VST3 bundle in the LV2 and CLAP install"
[ -e "$common/LV2/yawp-wah.lv2" ] && fail "an LV2 bundle outside the chosen folder"
[ -e "$common/CLAP/Yawp Wah" ] && fail "a CLAP folder outside the chosen folder"
[ "$(entry_value LV2Bundle)" = 'C:\StudioPlugins\LV2\yawp-wah.lv2' ] || fail "LV2Bundle is $(entry_value LV2Bundle)"
[ "$(entry_value CLAPFolder)" = 'C:\StudioPlugins\CLAP\Yawp Wah' ] || fail "CLAPFolder is $(entry_value CLAPFolder)"
[ -z "$(entry_value VST3Bundle)" ] || fail "the LV2 and CLAP install records a VST3 bundle"
run_setup "$uninstaller" /S || fail "the uninstaller gave status $setup_status"
[ -e "$drive_c/StudioPlugins/LV2/yawp-wah.lv2" ] && fail "the LV2 bundle outlived the uninstaller"
[ -e "$drive_c/StudioPlugins/CLAP/Yawp Wah" ] && fail "the CLAP folder outlived the uninstaller"
[ -z "$(entry)" ] || fail "the uninstall entry is still there"

echo "--- the CLAP plug-in alone, where a folder of the user's took the recorded place"
# An uninstaller removes the CLAP folder it recorded only while that path
# ends in CLAP\Yawp Wah: a folder of the user's named "Yawp Wah" elsewhere
# is never taken.
run_setup "$installer" /S /COMPONENTS=clap || fail "the CLAP-only install gave status $setup_status"
same_tree "$clap_folder" "$common/CLAP/Yawp Wah"
[ -e "$common/VST3/Yawp Wah.vst3" ] || [ -e "$common/LV2/yawp-wah.lv2" ] &&
    fail "another format in the CLAP-only install"
mkdir -p "$drive_c/My Songs/Yawp Wah"
echo "mine" >"$drive_c/My Songs/Yawp Wah/song.txt"
wine reg add "$key" /v CLAPFolder /t REG_SZ /d 'C:\My Songs\Yawp Wah' /f </dev/null >/dev/null 2>&1 ||
    fail "could not change CLAPFolder"
run_setup "$uninstaller" /S || fail "the uninstaller gave status $setup_status"
[ -f "$drive_c/My Songs/Yawp Wah/song.txt" ] || fail "the uninstaller took a folder of the user's"
[ -z "$(entry)" ] || fail "the uninstall entry is still there"
rm -rf "$common/CLAP/Yawp Wah" "$drive_c/My Songs"

if [ $status -eq 0 ]; then
    echo "the Windows installer is sound"
    wineserver -k 2>/dev/null
    rm -rf "$WINEPREFIX"
fi
exit $status
