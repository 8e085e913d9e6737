/* Starts a program on the current X display and prints how long it took
 * until a top-level window with the given title was mapped and until that
 * window showed painted content (its pixels no longer all one colour).
 * Measured from outside: the program is not changed or preloaded.
 *
 *   vx-startup-timer TITLE TIMEOUT_MS PROGRAM [ARGS...]
 *
 * Prints "mapped_ms=... painted_ms=..." and exits 0, or 1 on time-out. The
 * program is terminated (SIGTERM, then SIGKILL) before exiting. */
#define _DEFAULT_SOURCE
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double nowMs(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

static int hasTitle(Display* dpy, Window w, const char* title)
{
    char* name = NULL;
    int same = 0;
    if (XFetchName(dpy, w, &name) && name) {
        same = strcmp(name, title) == 0;
        XFree(name);
    }
    return same;
}

/* Whether the window's pixels differ anywhere on a coarse grid. */
static int painted(Display* dpy, Window w)
{
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable || a.width < 2 || a.height < 2)
        return 0;
    XImage* img = XGetImage(dpy, w, 0, 0, (unsigned)a.width, (unsigned)a.height, AllPlanes, ZPixmap);
    if (!img)
        return 0;
    const unsigned long first = XGetPixel(img, 0, 0);
    int differs = 0;
    for (int y = 0; y < a.height && !differs; y += 7)
        for (int x = 0; x < a.width && !differs; x += 7)
            differs = XGetPixel(img, x, y) != first;
    XDestroyImage(img);
    return differs;
}

static void stop(pid_t pid)
{
    kill(pid, SIGTERM);
    for (int i = 0; i < 100; ++i) {
        if (waitpid(pid, NULL, WNOHANG) == pid)
            return;
        usleep(20000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, NULL, 0);
}

int main(int argc, char** argv)
{
    if (argc < 4) {
        fprintf(stderr, "usage: %s TITLE TIMEOUT_MS PROGRAM [ARGS...]\n", argv[0]);
        return 2;
    }
    const char* title = argv[1];
    const double timeout = atof(argv[2]);
    Display* dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "no X display\n");
        return 2;
    }
    const Window root = DefaultRootWindow(dpy);
    /* Watch before starting, so no map is missed. */
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    const double start = nowMs();
    const pid_t pid = fork();
    if (pid == 0) {
        /* The program's own diagnostics would mix with the figures. */
        FILE* quiet = freopen("/dev/null", "w", stdout);
        quiet = quiet ? freopen("/dev/null", "w", stderr) : NULL;
        (void)quiet;
        execv(argv[3], argv + 3);
        _exit(127);
    }
    if (pid < 0) {
        perror("fork");
        return 2;
    }

    Window window = 0;
    double mapped = -1, shown = -1;
    while (nowMs() - start < timeout && shown < 0) {
        while (XPending(dpy)) {
            XEvent ev;
            XNextEvent(dpy, &ev);
            if (ev.type == MapNotify && !window && hasTitle(dpy, ev.xmap.window, title)) {
                window = ev.xmap.window;
                mapped = nowMs() - start;
            }
        }
        if (window && painted(dpy, window))
            shown = nowMs() - start;
        if (waitpid(pid, NULL, WNOHANG) == pid) {
            fprintf(stderr, "the program ended before its window was shown\n");
            XCloseDisplay(dpy);
            return 1;
        }
        usleep(2000);
    }
    stop(pid);
    XCloseDisplay(dpy);
    if (shown < 0) {
        fprintf(stderr, "no painted window titled \"%s\" within %.0f ms\n", title, timeout);
        return 1;
    }
    printf("mapped_ms=%.1f painted_ms=%.1f\n", mapped, shown);
    return 0;
}
