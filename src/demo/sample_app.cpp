// A stand-in for OpenEmu in tests and the demo: placed inside a bundle's Contents/MacOS/, it
// runs until it is asked to quit (SIGTERM), so a real process can be found, quit and launched.
// With --ignore-quit it ignores that request, like an app stuck on an unsaved-changes prompt.

#include <csignal>
#include <cstring>
#include <unistd.h>

int main(int argc, char *argv[])
{
    if (argc > 1 && std::strcmp(argv[1], "--ignore-quit") == 0) {
        std::signal(SIGTERM, SIG_IGN);
        for (;;)
            pause();
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    int received = 0;
    sigwait(&set, &received);
    return 0;
}
