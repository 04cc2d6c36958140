#!/bin/sh
# Builds both lanes and then runs the demo or every test suite.
#
#   ./build.sh demo   install what is missing, build, render dist/demo/ and
#                     gather the release files into dist/ (installer,
#                     package, archives, bundles)
#   ./build.sh test   install what is missing, build, run every suite
#
# YAWP_WEBVIEW2_LOADER=/path/to/WebView2Loader.dll in the environment hands
# Microsoft's WebView2 loader to the Windows lane, which copies it into its
# bundles (optional: without it the editors find the installed runtime).
set -eu
cd "$(dirname "$0")"
root=$(pwd)
what=${1:-}
case "$what" in
    demo | test) ;;
    *)
        echo "usage: ./build.sh demo|test" >&2
        exit 2
        ;;
esac

sh cmake/setup.sh

build_lane() {
    lane=$1
    shift
    cmake --preset "$lane" "$@" >/dev/null
    cmake --build --preset "$lane"
}

build_lane linux
if [ -n "${YAWP_WEBVIEW2_LOADER:-}" ]; then
    build_lane windows -DYAWP_WEBVIEW2_LOADER="$YAWP_WEBVIEW2_LOADER"
else
    build_lane windows
fi

if [ "$what" = demo ]; then
    rm -rf dist/demo
    mkdir -p dist/demo
    build/linux/tools/demo/yawp-wah-demo dist/demo
    sh tools/demo/draw-sonograms.sh dist/demo
    echo "demo: WAV files and sonograms in $root/dist/demo"
    sh cmake/package.sh dist build/linux build/windows
    exit 0
fi

# Every suite runs even when an earlier one fails; the summary says which.
passed=0
failed=0
failures=""
suite() {
    name=$1
    shift
    echo "=== $name"
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        failures="$failures $name"
    fi
}

suite linux ctest --preset linux
suite linux-asan sh -c 'cmake --preset linux-asan >/dev/null && cmake --build --preset linux-asan && ctest --preset linux-asan'
suite linux-tsan sh -c 'cmake --preset linux-tsan >/dev/null && cmake --build --preset linux-tsan && ctest --preset linux-tsan'
suite windows xvfb-run -a -s "-screen 0 1280x1024x24" cmake/windows-tests.sh
suite page sh tests/page/run.sh build/page
suite fuzz bash tests/fuzz/run-fuzzers.sh build/fuzz 20

echo "=== summary"
if [ -n "$failures" ]; then echo "failed suites:$failures"; fi
echo "suites: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
