// desktop_probe: starts a desktop program and measures it as a user meets it: the time from the
// start to its main window shown on the X display, then (optionally) the peak memory of the
// program and its descendants while it records after the given keys were pressed.
//
//   desktop_probe TITLE [--keys KEYS] [--settle S] [--seconds N] -- PROGRAM ARGS...
//
// TITLE is the start of the main window's title. Prints one line: "startup_ms peak_kb", where
// peak_kb is the largest resident set seen (VmHWM of each process, summed) over the N seconds
// after KEYS (xdotool key names) went to the window, S seconds (default 2) after it showed, as
// a person waits for a program to be ready; 0 without --seconds.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string window_title(Display* x, Window w) {
    const Atom utf8 = XInternAtom(x, "UTF8_STRING", False);
    const Atom net_name = XInternAtom(x, "_NET_WM_NAME", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(x, w, net_name, 0, 256, False, utf8, &type, &format, &count, &after,
                           &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
    }
    if (title.empty()) {
        char* name = nullptr;
        if (XFetchName(x, w, &name) && name) {
            title = name;
            XFree(name);
        }
    }
    return title;
}

// The first viewable top-level client whose title starts with `prefix`, from the window
// manager's client list; 0 when none is shown yet.
Window shown_window(Display* x, const std::string& prefix) {
    const Atom list = XInternAtom(x, "_NET_CLIENT_LIST", False);
    Atom type;
    int format;
    unsigned long count, after;
    unsigned char* data = nullptr;
    Window found = 0;
    if (XGetWindowProperty(x, DefaultRootWindow(x), list, 0, 4096, False, XA_WINDOW, &type, &format,
                           &count, &after, &data) != Success ||
        !data)
        return 0;
    const auto* windows = reinterpret_cast<Window*>(data);
    for (unsigned long i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(x, windows[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        if (window_title(x, windows[i]).rfind(prefix, 0) == 0) found = windows[i];
    }
    XFree(data);
    return found;
}

long status_kb(pid_t pid, const char* field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
    return 0;
}

pid_t parent_of(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    int ppid = 0;
    char state;
    std::sscanf(text.c_str() + close + 1, " %c %d", &state, &ppid);
    return ppid;
}

// The peak resident set of `root` and every process below it, each at its own peak, in KiB.
long tree_peak_kb(pid_t root) {
    long total = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    while (dirent* entry = readdir(proc)) {
        const pid_t pid = std::atoi(entry->d_name);
        if (pid <= 0) continue;
        for (pid_t p = pid; p > 1; p = parent_of(p))
            if (p == root) {
                total += status_kb(pid, "VmHWM:");
                break;
            }
    }
    closedir(proc);
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr,
                     "usage: desktop_probe TITLE [--keys KEYS] [--seconds N] -- PROGRAM ...\n");
        return 2;
    }
    const std::string title = argv[1];
    std::string keys;
    int seconds = 0;
    int settle = 2;
    int at = 2;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        if (std::strcmp(argv[at], "--keys") == 0 && at + 1 < argc) keys = argv[++at];
        if (std::strcmp(argv[at], "--seconds") == 0 && at + 1 < argc)
            seconds = std::atoi(argv[++at]);
    }
    if (at + 1 >= argc) return 2;
    Display* x = XOpenDisplay(nullptr);
    if (!x) {
        std::fprintf(stderr, "desktop_probe: no X display\n");
        return 1;
    }
    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        setpgid(0, 0);
        execvp(argv[at + 1], argv + at + 1);
        _exit(127);
    }
    Window window = 0;
    while (!(window = shown_window(x, title))) {
        if (waitpid(child, nullptr, WNOHANG) == child ||
            Clock::now() - start > std::chrono::seconds(60)) {
            std::fprintf(stderr, "desktop_probe: no window titled '%s' appeared\n", title.c_str());
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const double startup_ms =
        std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    long peak = 0;
    if (seconds > 0) {
        std::this_thread::sleep_for(std::chrono::seconds(settle));
        const std::string press = "xdotool windowactivate --sync " + std::to_string(window) +
                                  " >/dev/null 2>&1; xdotool key --clearmodifiers " + keys;
        if (!keys.empty() && std::system(press.c_str()) != 0)
            std::fprintf(stderr, "desktop_probe: xdotool failed\n");
        for (int s = 0; s < seconds; ++s) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            peak = std::max(peak, tree_peak_kb(child));
        }
    }
    std::printf("%.0f %ld\n", startup_ms, peak);
    std::fflush(stdout);
    kill(-child, SIGTERM);
    for (int i = 0; i < 50 && waitpid(child, nullptr, WNOHANG) != child; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kill(-child, SIGKILL);
    waitpid(child, nullptr, 0);
    XCloseDisplay(x);
    return 0;
}
