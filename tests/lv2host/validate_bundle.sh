#!/bin/sh
# Validates the bundle's Turtle files against the LV2 schemas, with both
# validators a plug-in author has at hand. Either one reporting an error, or
# failing, fails the test.
#
#   validate_bundle.sh BUNDLE_DIR
set -u
bundle=$1
ttl=$(ls "$bundle"/*.ttl) || { echo "no .ttl files in $bundle"; exit 1; }
status=0

# Runs a validator; its summary line "Found 0 errors among ..." is the only
# line allowed to mention errors.
check() {
    name=$1
    shift
    output=$("$@" 2>&1)
    rc=$?
    printf '%s\n' "$output"
    if [ $rc -ne 0 ]; then
        echo "FAILED: $name exited with $rc"
        status=1
    fi
    if printf '%s\n' "$output" | grep -v '^Found 0 errors among' | grep -qi 'error'; then
        echo "FAILED: $name reported errors"
        status=1
    fi
    if ! printf '%s\n' "$output" | grep -q '^Found 0 errors among'; then
        echo "FAILED: $name gave no summary"
        status=1
    fi
}

# shellcheck disable=SC2086 # the file lists are meant to split
check lv2_validate lv2_validate $ttl
# The LV2 vocabularies and schemas to validate against: those of the lv2-dev
# package, not every bundle that happens to be installed (other vendors'
# descriptions have errors of their own).
schemas=$(dpkg -L lv2-dev 2>/dev/null | grep '^/usr/lib/lv2/.*\.ttl$') || schemas=$(ls /usr/lib/lv2/*.lv2/*.ttl)
# shellcheck disable=SC2086
check sord_validate sord_validate $schemas $ttl
exit $status
