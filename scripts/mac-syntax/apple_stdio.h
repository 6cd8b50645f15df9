// Syntax-only stand-in for what the SDK's <stdio.h> adds to the C library's (renamex_np),
// forced in ahead of each file.
#pragma once

#define RENAME_SWAP 0x00000002
#define RENAME_EXCL 0x00000004

extern "C" int renamex_np(const char *, const char *, unsigned int);
