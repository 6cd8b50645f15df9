#!/bin/sh
# Shared by the wrappers in this folder: refuse.sh TOOL WHY… prints why the call would fail on a
# Mac and exits 97, a status no tool of ours uses.
tool="$1"
shift
echo "mac-tools: $tool: $* (GNU only; the Mac's BSD $tool refuses it)" >&2
exit 97
