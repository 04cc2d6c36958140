#!/bin/sh
# The module must export the LV2 entry points and nothing else: anything
# more could clash with the host's own symbols or other plug-ins'.
#
#   check_exports.sh MODULE
set -u
module=$1
symbols=$(nm -D --defined-only "$module" | awk '{ print $NF }') || exit 1
echo "exported: $symbols"
status=0
echo "$symbols" | grep -qx 'lv2_descriptor' || { echo "FAILED: lv2_descriptor is not exported"; status=1; }
unexpected=$(echo "$symbols" | grep -vx -e 'lv2_descriptor' -e 'lv2ui_descriptor')
if [ -n "$unexpected" ]; then
    echo "FAILED: unexpected exports:"
    echo "$unexpected"
    status=1
fi
exit $status
