#!/bin/sh
# The manual: built from nothing into a scratch folder exactly as the build
# makes it (the sources' markers, the sonograms, the editor's pictures,
# pandoc), then checked with yawp-wah-manual-check, like the build's own
# copy that the release files carry: every parameter named by its title,
# every factory preset listed, every link inside it and every picture
# resolving, nothing loaded from elsewhere. The checker is first shown a
# spoiled copy, which it must refuse.
#
#   check_manual.sh LINUX_BUILD SCRATCH
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

name="Yawp Wah Manual.html"
check="$build/tools/manual/yawp-wah-manual-check"
rm -rf "$scratch"
mkdir -p "$scratch"
scratch=$(cd "$scratch" && pwd)

echo "--- built from nothing"
sh "$root/tools/manual/build-manual.sh" "$scratch/$name" "$scratch/work" \
    "$build/tools/manual/yawp-wah-manual-text" "$build/tools/demo/yawp-wah-demo" || fail "the manual does not build"
for picture in editor-default editor-lfo editor-envelope vowel-space sonogram-dry sonogram-lfo sonogram-envelope; do
    [ -s "$scratch/work/pictures/$picture.png" ] || fail "the build made no $picture.png"
done
[ -f "$scratch/$name" ] && { "$check" "$scratch/$name" || fail "the manual built from nothing"; }

echo "--- the checker refuses a spoiled copy"
if [ -f "$scratch/$name" ]; then
    # One picture no longer embedded, one link to nowhere, one title gone.
    sed -e '0,/src="data:image\/png;base64,[^"]*"/s//src="vowel-space.png"/' \
        -e '0,/href="#meters"/s//href="#no-such-chapter"/' \
        -e 's/LFO sync phase/LFO phase sync/g' "$scratch/$name" >"$scratch/spoiled.html"
    "$check" "$scratch/spoiled.html" >"$scratch/spoiled.log"
    [ $? -eq 1 ] || fail "the checker passed a spoiled manual"
    for problem in 'is not embedded' 'leads to no anchor' 'does not name the parameter "LFO sync phase"'; do
        grep -q "$problem" "$scratch/spoiled.log" || fail "the checker missed: $problem"
    done
fi

echo "--- the build's manual, which the release files carry"
if [ -f "$build/manual/$name" ]; then
    "$check" "$build/manual/$name" || fail "the build's manual"
else
    fail "the build made no $build/manual/$name"
fi

[ $status -eq 0 ] && echo "the manual is sound"
exit $status
