#!/bin/sh
# Runs the editor page's tests in headless Chromium (Debian's /usr/bin/chromium,
# never a downloaded browser). Screenshots go to OUTDIR.
# Usage: tests/page/run.sh OUTDIR
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)

chromium=${CHROMIUM:-/usr/bin/chromium}
if ! command -v node >/dev/null 2>&1 || ! command -v npm >/dev/null 2>&1; then
    echo "$0: node and npm are needed (cmake/setup.sh installs them)" >&2
    exit 2
fi
if [ ! -x "$chromium" ]; then
    echo "$0: $chromium is missing (cmake/setup.sh installs Debian's chromium)" >&2
    exit 2
fi

cd "$here"
if [ ! -f node_modules/playwright-core/package.json ]; then
    PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error
fi

# One browser at a time: the machine is shared with compilers.
serial=""
if node --help | grep -q -- '--test-concurrency'; then
    serial="--test-concurrency=1"
fi

export PAGE_OUT="$out" CHROMIUM="$chromium"
# shellcheck disable=SC2086
exec node --test $serial protocol.test.mjs robustness.test.mjs keys.test.mjs news.test.mjs presets.test.mjs layout.test.mjs preview.test.mjs redraw.test.mjs manual.test.mjs
