#!/bin/sh
# The engine's sound is fixed: renders the raw test program's output and
# compares its SHA-256 with the one recorded when the sound was last meant
# to change. A faster engine, a refactoring or a new compiler must not move
# a single bit.
# Usage: check-sound.sh PROGRAM EXPECTED_SHA256_FILE WORK_DIR
set -eu
program=$1
expected=$(cut -d' ' -f1 "$2")
work=$3
mkdir -p "$work"
rm -f "$work/sound.raw"
"$program" "$work/sound.raw"
actual=$(sha256sum "$work/sound.raw" | cut -d' ' -f1)
if [ "$actual" = "$expected" ]; then
    echo "check-sound: $(wc -c <"$work/sound.raw") bytes as recorded ($actual)"
else
    echo "check-sound: the engine's output changed: $actual, recorded $expected" >&2
    exit 1
fi
