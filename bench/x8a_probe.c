/*
 * x8a_probe - preloaded into x8a and x8a_raw by the benchmark to time their
 * phases without changing either program.
 *
 * It wraps the Xlib calls that open each phase and notes the time and the
 * resident memory when a phase's first request passes:
 *   sweeps         the first XDrawLine
 *   small-circles  the first XFillArc 20 pixels wide
 *   rectangles     the first XFillRectangle after that
 *   large-circles  the first XFillArc 60 pixels wide
 *   strings-14, strings-16, japanese
 *                  the first XCreateFontSet for 14, 16 and 48 pixels
 *   close          the first XDestroyWindow after that
 *   exit           when the process unloads the probe
 * Each note is one line "name seconds kilobytes cpu-seconds request"
 * (monotonic time, resident memory, the process's processor time, and the
 * number the connection's next request will have, 0 where there is no
 * connection at hand) written to the file descriptor named by X8A_PHASE_FD.  Every wrapped call passes its
 * arguments on unchanged; after its phase has begun a wrapper costs one
 * comparison.  The probe removes itself from the environment, so the
 * programs' own children run without it.
 */
#define _GNU_SOURCE
#include <X11/Xlib.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

enum phase { OPEN, SWEEPS, SMALL_CIRCLES, RECTANGLES, LARGE_CIRCLES, STRINGS_14, STRINGS_16,
             JAPANESE, CLOSE };

static const char *const phase_names[] = {"open", "sweeps", "small-circles", "rectangles",
                                          "large-circles", "strings-14", "strings-16",
                                          "japanese", "close"};

static int report_fd = -1;
static pid_t owner;
static enum phase current = OPEN;

static long resident_kb(void)
{
    long size = 0, resident = 0;
    FILE *f = fopen("/proc/self/statm", "r");
    if (!f)
        return -1;
    if (fscanf(f, "%ld %ld", &size, &resident) != 2)
        resident = -1;
    fclose(f);
    return resident < 0 ? -1 : resident * (sysconf(_SC_PAGESIZE) / 1024);
}

static void note(const char *name, Display *d)
{
    struct timespec t, cpu;
    char line[128];
    int n;
    if (report_fd < 0 || getpid() != owner)
        return;
    clock_gettime(CLOCK_MONOTONIC, &t);
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu);
    n = snprintf(line, sizeof line, "%s %ld.%09ld %ld %ld.%09ld %lu\n", name, (long)t.tv_sec,
                 t.tv_nsec, resident_kb(), (long)cpu.tv_sec, cpu.tv_nsec,
                 d ? NextRequest(d) : 0UL);
    if (n > 0 && write(report_fd, line, (size_t)n) < 0)
        report_fd = -1;
}

/* Moves to phase next when the program is in the phase just before it. */
static void advance(enum phase next, Display *d)
{
    if (current + 1 == next) {
        current = next;
        note(phase_names[next], d);
    }
}

__attribute__((constructor)) static void probe_start(void)
{
    const char *fd = getenv("X8A_PHASE_FD");
    owner = getpid();
    if (fd) {
        report_fd = atoi(fd);
        fcntl(report_fd, F_SETFD, FD_CLOEXEC);
    }
    unsetenv("LD_PRELOAD");
    unsetenv("X8A_PHASE_FD");
    note("start", NULL);
}

__attribute__((destructor)) static void probe_end(void)
{
    note("exit", NULL);
}

#define REAL(name) static __typeof__(name) *real; if (!real) real = (__typeof__(name) *)dlsym(RTLD_NEXT, #name)

int XDrawLine(Display *d, Drawable w, GC gc, int x1, int y1, int x2, int y2)
{
    REAL(XDrawLine);
    if (current == OPEN)
        advance(SWEEPS, d);
    return real(d, w, gc, x1, y1, x2, y2);
}

int XFillArc(Display *d, Drawable w, GC gc, int x, int y, unsigned int width,
             unsigned int height, int a1, int a2)
{
    REAL(XFillArc);
    if (current == SWEEPS && width == 20)
        advance(SMALL_CIRCLES, d);
    else if (current == RECTANGLES && width == 60)
        advance(LARGE_CIRCLES, d);
    return real(d, w, gc, x, y, width, height, a1, a2);
}

int XFillRectangle(Display *d, Drawable w, GC gc, int x, int y, unsigned int width,
                   unsigned int height)
{
    REAL(XFillRectangle);
    if (current == SMALL_CIRCLES)
        advance(RECTANGLES, d);
    return real(d, w, gc, x, y, width, height);
}

XFontSet XCreateFontSet(Display *d, const char *names, char ***missing, int *nmissing,
                        char **def)
{
    int size = 0;
    REAL(XCreateFontSet);
    if (names && sscanf(names, "-*-fixed-medium-r-normal--%d-", &size) == 1) {
        if (size == 14)
            advance(STRINGS_14, d);
        else if (size == 16)
            advance(STRINGS_16, d);
        else if (size == 48)
            advance(JAPANESE, d);
    }
    return real(d, names, missing, nmissing, def);
}

int XDestroyWindow(Display *d, Window w)
{
    REAL(XDestroyWindow);
    if (current == JAPANESE)
        advance(CLOSE, d);
    return real(d, w);
}
