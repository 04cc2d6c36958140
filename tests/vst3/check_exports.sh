#!/bin/sh
# The module must export its entry points and nothing else: anything more
# could clash with the host's own symbols or other plug-ins'.
#
#   check_exports.sh nm|objdump MODULE
set -u
lister=$1
module=$2
case "$lister" in
    *objdump)
        # The names listed in the PE export table.
        symbols=$("$lister" -p "$module" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
            sed -n 's/^[[:space:]]*\[ *[0-9]*\] //p')
        expected="GetPluginFactory"
        ;;
    *)
        symbols=$("$lister" -D --defined-only "$module" | awk '{ print $NF }')
        expected="GetPluginFactory ModuleEntry ModuleExit"
        ;;
esac
echo "exported:" $symbols
if [ "$(echo $symbols | tr ' ' '\n' | sort | tr '\n' ' ')" = "$(echo $expected | tr ' ' '\n' | sort | tr '\n' ' ')" ]; then
    exit 0
fi
echo "FAILED: expected exactly: $expected"
exit 1
