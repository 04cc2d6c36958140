#!/bin/sh
# The Debian package, made by CPack from the Linux lane's build into a
# scratch folder and checked as Debian and a user meet it: its control
# fields and contents (the manual and the CLAP folder among them), lintian,
# the plug-ins and the renderer working from an unpacked copy, and (as root, as in CI, when no yawp-wah is installed
# already) a real install and removal with dpkg. YAWP_NO_SYSTEM_INSTALL=1
# skips that last part on a machine whose /usr should stay untouched.
#
#   check_deb.sh LINUX_BUILD SCRATCH
set -u
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=$(cd "${1:?Linux build folder}" && pwd) || exit 1
scratch=${2:?scratch folder}
status=0

fail() {
    echo "FAILED: $*"
    status=1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb_name="yawp-wah_${version}_amd64.deb"
lv2_dir=usr/lib/lv2/yawp-wah.lv2
vst3_dir="usr/lib/vst3/Yawp Wah.vst3"
clap_dir="usr/lib/clap/Yawp Wah"
presets_dir="usr/share/vst3/presets/Tallow.AUDIO/Yawp Wah"

rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

# One of the factory presets the lane built, followed into the package.
preset=$(cd "$build/plugins/vst3-presets" && find . -name '*.vstpreset' | sed 's|^\./||' | head -n 1)

echo "--- making $deb_name"
cpack --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    echo "FAILED: cpack"
    exit 1
}
deb="$scratch/out/$deb_name"
[ -f "$deb" ] || {
    echo "FAILED: cpack made no $deb_name: $(ls "$scratch/out")"
    exit 1
}
ls -l "$deb"

echo "--- control fields"
dpkg-deb --info "$deb" | tee "$scratch/info"
field() {
    dpkg-deb --field "$deb" "$1"
}
[ "$(field Package)" = yawp-wah ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version), not $version"
[ "$(field Architecture)" = amd64 ] || fail "Architecture is $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section is $(field Section)"
field Maintainer | grep -q '^Tallow.AUDIO <.*@.*>$' || fail "Maintainer is $(field Maintainer)"
# Computed by dpkg-shlibdeps from what the binaries link: the C and C++
# runtimes, and libsndfile for the renderer.
for library in libc6 'libstdc\+\+6' libsndfile1; do
    field Depends | grep -Eq "(^|, )$library \(>= [0-9][^)]*\)" || fail "Depends lacks $library: $(field Depends)"
done

echo "--- contents"
dpkg-deb --contents "$deb" >"$scratch/contents"
for path in \
    "./$lv2_dir/tallow-yawp-wah.so" "./$lv2_dir/manifest.ttl" "./$lv2_dir/yawp-wah.ttl" "./$lv2_dir/index.html" \
    "./$vst3_dir/Contents/x86_64-linux/Yawp Wah.so" "./$vst3_dir/Contents/Resources/index.html" \
    "./$clap_dir/Yawp Wah.clap" "./$clap_dir/Resources/index.html" "./$clap_dir/yawp-wah-editor" \
    "./$presets_dir/$preset" \
    ./usr/bin/yawp-wah-render ./usr/share/man/man1/yawp-wah-render.1.gz \
    ./usr/share/doc/yawp-wah/copyright ./usr/share/doc/yawp-wah/changelog.gz \
    "./usr/share/doc/yawp-wah/Yawp Wah Manual.html"; do
    grep -qF " $path" "$scratch/contents" || fail "the package lacks $path"
done
awk '$2 != "root/root"' "$scratch/contents" | grep . && fail "entries not owned by root"
sed 's/^.* \.\//.\//' "$scratch/contents" | grep -v '^\./usr/' && fail "entries outside /usr"

echo "--- lintian"
# Errors and warnings fail; the notes lintian prints for information only
# are shown. Overrides travel in the package, each with its reason.
lintian --display-info --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1
lintian_status=$?
grep -v 'running with root privileges' "$scratch/lintian"
[ $lintian_status -eq 0 ] || fail "lintian reports errors or warnings"

echo "--- unpacked into a scratch root"
unpacked="$scratch/root"
dpkg-deb -x "$deb" "$unpacked"
for binary in "$unpacked/$lv2_dir/tallow-yawp-wah.so" "$unpacked/$vst3_dir/Contents/x86_64-linux/Yawp Wah.so" \
    "$unpacked/$clap_dir/Yawp Wah.clap" "$unpacked/$clap_dir/yawp-wah-editor" "$unpacked/usr/bin/yawp-wah-render"; do
    file -b "$binary" | grep -q ', stripped' || fail "not stripped: $binary"
done
cmp -s "$build/plugins/vst3-presets/$preset" "$unpacked/$presets_dir/$preset" || fail "the preset changed on the way"
cmp -s "$build/manual/Yawp Wah Manual.html" "$unpacked/usr/share/doc/yawp-wah/Yawp Wah Manual.html" ||
    fail "the packaged manual is not the one the lane built"
YAWP_LV2_TEST_PATH="$unpacked/usr/lib/lv2" "$build/tests/lv2host/lv2_lilv_host" --gtest_brief=1 ||
    fail "the packaged LV2 plug-in in lilv"
LV2_PATH="$unpacked/usr/lib/lv2" sh "$root/tests/lv2host/host_tools.sh" apply "$scratch/apply" ||
    fail "the packaged LV2 plug-in in lv2apply"
YAWP_VST3_TEST_MODULE="$unpacked/$vst3_dir/Contents/x86_64-linux/Yawp Wah.so" "$build/tests/vst3/vst3_tests" \
    --gtest_brief=1 --gtest_filter='Vst3Module.*:Vst3Factory.*:Vst3Processor.*' || fail "the packaged VST3 plug-in"
[ -x "$unpacked/$clap_dir/yawp-wah-editor" ] || fail "the packaged CLAP editor helper is not executable"
YAWP_CLAP_TEST_MODULE="$unpacked/$clap_dir/Yawp Wah.clap" "$build/tests/clap_presets/clap_presets" --gtest_brief=1 ||
    fail "the packaged CLAP plug-in"
render="$unpacked/usr/bin/yawp-wah-render"
[ "$("$render" --version)" = "yawp-wah-render $version" ] || fail "the packaged renderer's version"
sox -n -r 44100 -b 16 -c 2 "$scratch/in.wav" synth 0.5 sine 220 &&
    "$render" --set lfo_on=1 "$scratch/in.wav" "$scratch/out.wav" || fail "the packaged renderer"
[ "$(soxi -s "$scratch/out.wav" 2>/dev/null)" = 22050 ] || fail "the rendered file is not 22050 frames long"
manual_warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
    "$unpacked/usr/share/man/man1/yawp-wah-render.1.gz" 2>&1 >/dev/null)
[ -z "$manual_warnings" ] || fail "the manual page: $manual_warnings"

echo "--- dpkg -i and dpkg -r"
if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED: installing needs root"
elif [ -n "${YAWP_NO_SYSTEM_INSTALL:-}" ]; then
    echo "SKIPPED: YAWP_NO_SYSTEM_INSTALL is set"
elif dpkg-query -W yawp-wah >/dev/null 2>&1 || [ -e "/$lv2_dir" ] || [ -e "/$vst3_dir" ] || [ -e "/$clap_dir" ] ||
    [ -e /usr/bin/yawp-wah-render ]; then
    echo "SKIPPED: a yawp-wah is installed on this machine already; it is left alone"
else
    # One install at a time on this machine, whatever else runs its tests.
    (
        flock 9
        dpkg -i "$deb" || fail "dpkg -i"
        dpkg-query -W -f='${Status} ${Version}\n' yawp-wah | grep -q "^install ok installed $version\$" ||
            fail "dpkg does not list yawp-wah $version as installed"
        [ "$(/usr/bin/yawp-wah-render --version)" = "yawp-wah-render $version" ] || fail "the installed renderer"
        # lilv's own search path finds the plug-in where Debian keeps them.
        env -u LV2_PATH lv2ls | grep -qx 'https://tallow.audio/plugins/yawp-wah' ||
            fail "lilv does not find the installed plug-in"
        man -w yawp-wah-render >/dev/null || fail "man does not find the manual page"
        # /usr/lib/clap is where CLAP hosts look.
        YAWP_CLAP_TEST_MODULE="/$clap_dir/Yawp Wah.clap" "$build/tests/clap_presets/clap_presets" --gtest_brief=1 ||
            fail "the installed CLAP plug-in"
        dpkg -r yawp-wah || fail "dpkg -r"
        dpkg --purge yawp-wah >/dev/null 2>&1
        case "$(dpkg-query -W -f='${Status}' yawp-wah 2>/dev/null)" in
            "" | *not-installed) ;;
            *) fail "dpkg still lists yawp-wah" ;;
        esac
        for path in "/$lv2_dir" "/$vst3_dir" "/$clap_dir" "/$presets_dir" /usr/bin/yawp-wah-render \
            /usr/share/man/man1/yawp-wah-render.1.gz /usr/share/doc/yawp-wah; do
            [ -e "$path" ] && fail "dpkg -r left $path"
        done
        exit $status
    ) 9>/tmp/yawp-wah-dpkg.lock || status=1
fi

[ $status -eq 0 ] && echo "the Debian package is sound"
exit $status
