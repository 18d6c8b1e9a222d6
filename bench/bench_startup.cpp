// Starts a tray program on the current X display and times how long it takes
// to settle: from just before its start to the moment it listens on its
// close-request channel and to the moment its icon is installed in the tray.
//
//   bench_startup TITLE PROGRAM [ARGUMENT...]
//
// Listening: the entry TITLE.<pid> appears in $XDG_CONFIG_HOME/QL/channel/,
// the channel folder beside the store, where every checker listens (watched
// with inotify; the folders are made, mode 0700, when missing). Icon installed:
// a window of the program (by its _NET_WM_PID) has been reparented into the
// tray host's panel (a window whose WM_CLASS is "panel", "trayer", or one
// below it) and is viewable there. Both are watched from before the start, so
// nothing is polled and nothing is missed.
//
// Prints "pid N", then "listen_ms T" and "icon_ms T" as each happens (T in
// milliseconds from just before the start), then "ready" once both have. It
// then stays, without watching anything, until the program ends, and exits
// with 0; with 1 when the program ends before it is ready or within 60 s is
// not ready.

#include <xcb/xcb.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace
{

constexpr int GiveUpMs = 60000;

double nowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

xcb_atom_t atom(xcb_connection_t *x, const char *name)
{
    xcb_intern_atom_reply_t *reply =
        xcb_intern_atom_reply(x, xcb_intern_atom(x, 0, uint16_t(strlen(name)), name), nullptr);
    const xcb_atom_t found = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return found;
}

// The first 32-bit value of a window's CARDINAL property.
std::optional<uint32_t> cardinal(xcb_connection_t *x, xcb_window_t window, xcb_atom_t property)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, property, XCB_ATOM_CARDINAL, 0, 1), nullptr);
    std::optional<uint32_t> value;
    if (reply && reply->format == 32 && xcb_get_property_value_length(reply) >= 4)
        value = *static_cast<uint32_t *>(xcb_get_property_value(reply));
    free(reply);
    return value;
}

// WM_CLASS as "instance\0class\0".
std::string windowClass(xcb_connection_t *x, xcb_window_t window)
{
    xcb_get_property_reply_t *reply = xcb_get_property_reply(
        x, xcb_get_property(x, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 64), nullptr);
    std::string value;
    if (reply && reply->format == 8)
        value.assign(static_cast<const char *>(xcb_get_property_value(reply)),
                     size_t(xcb_get_property_value_length(reply)));
    free(reply);
    return value;
}

// Whether `window` is the tray host's panel or lies below it.
bool insideTray(xcb_connection_t *x, xcb_window_t window)
{
    static const std::string Panel("panel\0trayer\0", 13);
    while (window != XCB_WINDOW_NONE) {
        if (windowClass(x, window) == Panel)
            return true;
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x, xcb_query_tree(x, window), nullptr);
        if (!tree)
            return false;
        const xcb_window_t parent = tree->parent;
        const bool top = tree->root == parent;
        free(tree);
        if (top)
            return windowClass(x, parent) == Panel;
        window = parent;
    }
    return false;
}

bool viewable(xcb_connection_t *x, xcb_window_t window)
{
    xcb_get_window_attributes_reply_t *reply =
        xcb_get_window_attributes_reply(x, xcb_get_window_attributes(x, window), nullptr);
    const bool shown = reply && reply->map_state == XCB_MAP_STATE_VIEWABLE;
    free(reply);
    return shown;
}

void select(xcb_connection_t *x, xcb_window_t window, uint32_t mask)
{
    xcb_change_window_attributes(x, window, XCB_CW_EVENT_MASK, &mask);
}

struct Watch {
    xcb_connection_t *x = nullptr;
    xcb_atom_t pidAtom = XCB_ATOM_NONE;
    pid_t pid = 0;
    // The program's window embedded in the tray, once it is.
    xcb_window_t icon = XCB_WINDOW_NONE;

    // A window reparented somewhere: is it the program's, into the tray?
    void reparented(xcb_window_t window, xcb_window_t parent)
    {
        if (icon != XCB_WINDOW_NONE || cardinal(x, window, pidAtom) != uint32_t(pid) ||
            !insideTray(x, parent))
            return;
        icon = window;
        // Every window from the icon up to the panel: a map of any of them
        // can be the one that makes the icon viewable.
        for (xcb_window_t at = window; at != XCB_WINDOW_NONE;) {
            select(x, at, XCB_EVENT_MASK_STRUCTURE_NOTIFY | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
            xcb_query_tree_reply_t *tree = xcb_query_tree_reply(x, xcb_query_tree(x, at), nullptr);
            if (!tree)
                break;
            at = tree->parent == tree->root ? xcb_window_t(XCB_WINDOW_NONE) : tree->parent;
            free(tree);
        }
        xcb_flush(x);
    }

    bool installed() { return icon != XCB_WINDOW_NONE && viewable(x, icon); }
};

int usage()
{
    std::fprintf(stderr, "usage: bench_startup TITLE PROGRAM [ARGUMENT...]\n");
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 3)
        return usage();
    const std::string title = argv[1];
    const char *config = getenv("XDG_CONFIG_HOME");
    if (!config || !*config) {
        std::fprintf(stderr, "XDG_CONFIG_HOME is not set\n");
        return 2;
    }
    const std::string store = std::string(config) + "/QL";
    const std::string folder = store + "/channel";
    for (const std::string &path : {store, folder}) {
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
            std::perror(path.c_str());
            return 2;
        }
    }
    const int notify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (notify < 0 || inotify_add_watch(notify, folder.c_str(), IN_CREATE) < 0) {
        std::perror("inotify");
        return 2;
    }

    Watch watch;
    watch.x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(watch.x)) {
        std::fprintf(stderr, "no X display\n");
        return 2;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(watch.x)).data->root;
    watch.pidAtom = atom(watch.x, "_NET_WM_PID");
    // Reparenting is reported to those who watch the old parent (the root,
    // for a new top-level window) and the new one.
    select(watch.x, root, XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY);
    xcb_flush(watch.x);

    const double start = nowMs();
    if (posix_spawn(&watch.pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::perror(argv[2]);
        return 2;
    }
    std::printf("pid %d\n", int(watch.pid));
    std::fflush(stdout);

    const std::string entry = title + "." + std::to_string(watch.pid);
    std::optional<double> listening;
    std::optional<double> installed;
    while (!listening || !installed) {
        int status = 0;
        if (waitpid(watch.pid, &status, WNOHANG) == watch.pid) {
            std::fprintf(stderr, "the program ended before it was ready\n");
            return 1;
        }
        const double waited = nowMs() - start;
        if (waited > GiveUpMs) {
            std::fprintf(stderr, "not ready after %d ms\n", GiveUpMs);
            kill(watch.pid, SIGTERM);
            waitpid(watch.pid, nullptr, 0);
            return 1;
        }
        pollfd fds[2] = {{notify, POLLIN, 0}, {xcb_get_file_descriptor(watch.x), POLLIN, 0}};
        poll(fds, 2, 100);

        alignas(inotify_event) char buffer[4096];
        ssize_t got;
        while ((got = read(notify, buffer, sizeof buffer)) > 0) {
            for (char *at = buffer; at < buffer + got;) {
                const auto *event = reinterpret_cast<const inotify_event *>(at);
                if (!listening && event->len > 0 && entry == event->name) {
                    listening = nowMs() - start;
                    std::printf("listen_ms %.3f\n", *listening);
                    std::fflush(stdout);
                }
                at += sizeof(inotify_event) + event->len;
            }
        }
        while (xcb_generic_event_t *event = xcb_poll_for_event(watch.x)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_REPARENT_NOTIFY) {
                const auto *reparent = reinterpret_cast<xcb_reparent_notify_event_t *>(event);
                watch.reparented(reparent->window, reparent->parent);
            }
            free(event);
            if (!installed && watch.installed()) {
                installed = nowMs() - start;
                std::printf("icon_ms %.3f\n", *installed);
                std::fflush(stdout);
            }
        }
        if (xcb_connection_has_error(watch.x)) {
            std::fprintf(stderr, "lost the X display\n");
            return 1;
        }
    }
    std::printf("ready\n");
    std::fflush(stdout);
    xcb_disconnect(watch.x);
    close(notify);

    int status = 0;
    while (waitpid(watch.pid, &status, 0) < 0 && errno == EINTR) {
    }
    return 0;
}
