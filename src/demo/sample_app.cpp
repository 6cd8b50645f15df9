// A stand-in for OpenEmu in tests and the demo: placed inside a bundle's Contents/MacOS/, it
// runs until it is asked to quit (SIGTERM), so a real process can be found, quit and launched.
// With --ignore-quit it ignores that request, like an app stuck on an unsaved-changes prompt.

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace {

// Said once the signals are set up, for whoever started it and waits to know (nobody may listen).
void ready()
{
    static const char line[] = "ready\n";
    [[maybe_unused]] const ssize_t written = ::write(STDOUT_FILENO, line, sizeof line - 1);
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 1 && std::strcmp(argv[1], "--ignore-quit") == 0) {
        std::signal(SIGTERM, SIG_IGN);
        ready();
        for (;;)
            pause();
    }
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    ready();
    int received = 0;
    sigwait(&set, &received);
    return 0;
}
