// A second program asking for Ctrl with each letter of its first argument as hotkeys 0, 1, ...:
// prints "<id> ok" or "<id> taken" per key, then gives them back and ends, or with "hold" as the
// second argument prints "holding" and keeps them until it is ended.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/hotkey/hotkey.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: hotkey_probe LETTERS [hold]\n");
        return 2;
    }
    // Held keys are kept until SIGTERM and then given back before the process ends: the X server
    // drops a dead client's grabs only when it gets round to it, which a test cannot wait for.
    // Blocked before any thread starts, so that no thread but the waiting one takes it.
    const bool hold = argc > 2 && std::string(argv[2]) == "hold";
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    if (hold) pthread_sigmask(SIG_BLOCK, &term, nullptr);
    HWND window = CreateMessageWindow([](HWND, UINT, WPARAM, LPARAM) { return LRESULT{0}; });
    const std::string letters = argv[1];
    for (std::size_t id = 0; id < letters.size(); ++id) {
        const bool ok = RegisterHotKey(window, static_cast<int>(id), MOD_CONTROL,
                                       static_cast<UINT>(letters[id]));
        std::printf("%zu %s\n", id, ok ? "ok" : "taken");
    }
    if (hold) {
        std::printf("holding\n");
        std::fflush(stdout);
        int signal = 0;
        sigwait(&term, &signal);
    }
    for (std::size_t id = 0; id < letters.size(); ++id)
        UnregisterHotKey(window, static_cast<int>(id));
    return 0;
}
