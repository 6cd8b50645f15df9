// Syntax-only stand-in for the SDK's <util.h> (forkpty; Linux has it in <pty.h>).
#pragma once
#include <sys/types.h>

struct termios;
struct winsize;

extern "C" pid_t forkpty(int *, char *, struct termios *, struct winsize *);
