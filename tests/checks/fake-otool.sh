#!/bin/sh
# Stands in for otool on Linux, for -l (load commands) and -L (linked libraries) alike: the
# fixture's "binaries" hold both as text after the four bytes of a Mach-O magic number.
case "$1" in -l | -L) ;; *) exit 2 ;; esac
tail -c +6 "$2"
