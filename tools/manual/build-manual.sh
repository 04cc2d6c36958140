#!/bin/sh
# Builds the musician's manual, one self-contained HTML file with its
# pictures inside, from the Markdown in docs/manual/ and what the build
# makes:
#
#   build-manual.sh OUT_HTML WORK_DIR TEXT_PROGRAM DEMO_PROGRAM
#
# TEXT_PROGRAM is yawp-wah-manual-text (fills the sources' markers from the
# catalogue and the factory presets), DEMO_PROGRAM yawp-wah-demo (renders
# the sounds whose sonograms the manual shows). WORK_DIR is emptied and
# holds the filled sources and the pictures afterwards:
#
#   editor-default.png, editor-lfo.png, editor-envelope.png, vowel-space.png
#       the editor in headless Chromium (shoot-editor.mjs; needs node, the
#       page tests' playwright-core and Debian's chromium)
#   sonogram-dry.png, sonogram-lfo.png, sonogram-envelope.png
#       the demo's input, LFO sweep and envelope scenes (needs sox)
#
# PANDOC and CHROMIUM in the environment name other programs than pandoc
# and /usr/bin/chromium.
set -eu

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?manual to write}
work=${2:?work folder}
text_program=${3:?yawp-wah-manual-text}
demo_program=${4:?yawp-wah-demo}
pandoc=${PANDOC:-pandoc}
sources="$root/docs/manual"
page_tests="$root/tests/page"

fail() {
    echo "build-manual: $*" >&2
    exit 1
}

command -v "$pandoc" >/dev/null 2>&1 || fail "pandoc is missing (Debian package pandoc; cmake/setup.sh installs it)"
command -v node >/dev/null 2>&1 || fail "node is missing (cmake/setup.sh installs it)"
command -v sox >/dev/null 2>&1 || fail "sox is missing (cmake/setup.sh installs it)"

rm -rf "$work"
mkdir -p "$work/text" "$work/pictures" "$work/demo"
work=$(cd "$work" && pwd)

echo "build-manual: the text"
"$text_program" "$sources" "$work/text" || fail "the sources' markers could not be filled"

echo "build-manual: the sonograms"
"$demo_program" "$work/demo" >"$work/demo.log" || {
    cat "$work/demo.log" >&2
    fail "the demo failed"
}
mkdir "$work/sonograms"
# The demo's scene, and the name the manual knows its picture by.
for pair in input:sonogram-dry lfo-sweep:sonogram-lfo envelope-pluck:sonogram-envelope; do
    scene=${pair%%:*}
    [ -f "$work/demo/$scene.wav" ] || fail "the demo rendered no $scene.wav"
    cp "$work/demo/$scene.wav" "$work/sonograms/${pair#*:}.wav"
    title=$(grep "^$scene|" "$work/demo/scenes.txt" | head -n 1 | cut -d '|' -f 2-)
    echo "${pair#*:}|$title" >>"$work/sonograms/scenes.txt"
done
sh "$root/tools/demo/draw-sonograms.sh" "$work/sonograms" >/dev/null
mv "$work"/sonograms/*.png "$work/pictures/"
rm -rf "$work/demo" "$work/sonograms"

echo "build-manual: the editor's pictures"
if [ ! -f "$page_tests/node_modules/playwright-core/package.json" ]; then
    (cd "$page_tests" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error) ||
        fail "npm could not install the page tests' playwright-core"
fi
node "$here/shoot-editor.mjs" "$work/pictures" >/dev/null || fail "the editor's pictures could not be taken"

echo "build-manual: the page"
# pandoc 2.19 and later embed with --embed-resources; older ones (Debian
# 12 has 2.17) with --self-contained.
if "$pandoc" --help | grep -q -- '--embed-resources'; then
    embed="--embed-resources --standalone"
else
    embed="--self-contained"
fi
mkdir -p "$(dirname "$out")"
# shellcheck disable=SC2086 # the embedding options are separate words
(cd "$work/pictures" && "$pandoc" --from markdown --to html5 $embed \
    --template "$sources/template.html" --css "$sources/manual.css" \
    --toc --toc-depth 2 --section-divs \
    -o "$out.part" "$work"/text/*.md) || fail "pandoc failed"
mv "$out.part" "$out"
echo "build-manual: $out ($(wc -c <"$out") bytes)"
