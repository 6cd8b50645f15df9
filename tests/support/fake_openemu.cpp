// A stand-in for OpenEmu in tests: placed inside a bundle's Contents/MacOS/, it runs until
// it is asked to quit (SIGTERM), so tests can find, quit and launch a real process.

#include <csignal>
#include <unistd.h>

int main()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    int received = 0;
    sigwait(&set, &received);
    return 0;
}
