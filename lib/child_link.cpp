/*
 * child_link.cpp - the library's side of the window child process: writing
 * the embedded executable to /tmp, starting it, and the command events.
 *
 * Every wait for the child's acknowledgement reads the X connection with a
 * short poll() timeout and looks between reads whether the child is still
 * there, so a child that died (or never came up) ends the wait instead of
 * hanging the application.
 */
#include "kova_private.h"
#include "kova_protocol.h"
#include "sigchld_held.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char exec_template[] = KOVA_EXEC_TEMPLATE;
static_assert(sizeof exec_template <= sizeof Exec_slave_tmp, "template fits Exec_slave_tmp");

/* Writing the copy is tried this many times, 10 ms apart. */
constexpr int mkexec_attempts = 5;
/* How long one look at the X connection waits for the acknowledgement. */
constexpr int ack_poll_ms = 10;

bool have_exec_file() { return std::strcmp(Exec_slave_tmp, exec_template) != 0; }

bool write_all(int fd, const unsigned char *p, size_t n)
{
    while (n > 0) {
        ssize_t w = write(fd, p, n);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

/* The copy as written: the child removes it itself once it runs, and the
 * name may be another process's file by the time the library looks. */
dev_t Exec_dev;
ino_t Exec_ino;

bool is_our_copy(const char *path)
{
    struct stat st;
    return stat(path, &st) == 0 && st.st_dev == Exec_dev && st.st_ino == Exec_ino;
}

/* The whole image into fd; a file size limit makes the write come up short
 * instead of ending the application. */
bool write_copy(int fd)
{
    write_signals_held held;
    struct stat st;
    return write_all(fd, _xslave_, _xslave__size) && fstat(fd, &st) == 0 &&
           static_cast<size_t>(st.st_size) == _xslave__size;
}

/* A copy that dies with the process: the exit path may be taken (SIGINT,
 * SIGTERM, a fatal error) while the copy still exists. */
void remove_exec_file_at_exit()
{
    if (getpid() == Exec_owner)
        rmexecfile();
}

/* True when a handler of the application's or the library's collects ended
 * children; otherwise this file collects the child itself. */
bool sigchld_is_handled()
{
    struct sigaction sa;
    if (sigaction(SIGCHLD, nullptr, &sa) != 0)
        return false;
    if (sa.sa_flags & SA_SIGINFO)
        return true;
    return sa.sa_handler != SIG_DFL && sa.sa_handler != SIG_IGN;
}

/* True when the child whose id *cpid holds has ended.  Only looks
 * (WNOWAIT) when a SIGCHLD handler will collect it and clear *cpid;
 * collects it here when no handler is installed. */
bool child_gone(volatile sig_atomic_t *cpid)
{
    pid_t pid = *cpid;
    if (pid <= 0)
        return true;
    siginfo_t info;
    std::memset(&info, 0, sizeof info);
    if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD; /* collected already, or not our child */
    if (info.si_pid == 0)
        return false;
    if (!sigchld_is_handled() && waitpid(pid, nullptr, WNOHANG) == pid && *cpid == pid)
        *cpid = 0;
    return true;
}

bool is_ack(const XEvent &ev)
{
    return ev.type == GraphicsExpose && ev.xgraphicsexpose.send_event &&
           ev.xgraphicsexpose.minor_code == KOVA_CMD_ACK;
}

Bool is_droppable(Display *, XEvent *ev, XPointer)
{
    return !is_close_request(ev);
}

/* Reads events until the acknowledgement of the child whose id *cpid
 * holds, dropping every other one (our own commands come back too) but
 * close requests, which stay queued for the input calls.  0 on the
 * acknowledgement, -1 when the child has ended without sending it. */
int wait_for_ack(volatile sig_atomic_t *cpid)
{
    int fd = ConnectionNumber(Pc_dis);
    for (;;) {
        bool gone = child_gone(cpid);
        XEvent ev;
        while (XCheckIfEvent(Pc_dis, &ev, is_droppable, nullptr)) {
            if (is_ack(ev))
                return 0;
        }
        if (gone)
            return -1;
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, ack_poll_ms);
    }
}

/* In the forked process: without its window child the application cannot
 * go on. */
[[noreturn]] void window_child_exec_failed()
{
    _kova_error("Cannot exec child process.");
    kill(getppid(), SIGTERM);
    _exit(-1);
}

} // namespace

int mkexecfile(void)
{
    for (int attempt = 0; attempt < mkexec_attempts; attempt++) {
        if (attempt > 0)
            kova_msleep(10);
        std::memcpy(Exec_slave_tmp, exec_template, sizeof exec_template);
        Exec_fd = mkstemp(Exec_slave_tmp);
        if (Exec_fd == -1) {
            std::memcpy(Exec_slave_tmp, exec_template, sizeof exec_template);
            return -1;
        }
        Exec_owner = getpid();
        struct stat st;
        bool ok = fstat(Exec_fd, &st) == 0;
        Exec_dev = ok ? st.st_dev : 0;
        Exec_ino = ok ? st.st_ino : 0;
        ok = ok && write_copy(Exec_fd) && fchmod(Exec_fd, (st.st_mode & 07777) | S_IXUSR) == 0 &&
             fsync(Exec_fd) == 0;
        if (ok)
            return 0;
        rmexecfile();
    }
    return -1;
}

void rmexecfile(void)
{
    if (Exec_fd != -1) {
        close(Exec_fd);
        Exec_fd = -1;
    }
    /* Once removed, the name may be another process's next mkstemp result:
     * forget it rather than remove it twice. */
    if (have_exec_file()) {
        if (is_our_copy(Exec_slave_tmp))
            remove(Exec_slave_tmp);
        std::memcpy(Exec_slave_tmp, exec_template, sizeof exec_template);
    }
}

void send_command_to_child(int window, int code, unsigned long value, int flush)
{
    if (!Pc_dis || !Pc_zwin)
        return;
    XEvent ev;
    std::memset(&ev, 0, sizeof ev);
    XGraphicsExposeEvent &g = ev.xgraphicsexpose;
    g.type = GraphicsExpose;
    g.serial = 0;
    g.send_event = True;
    g.display = Pc_dis;
    g.drawable = value;
    g.major_code = window;
    g.minor_code = code;
    XSendEvent(Pc_dis, Pc_zwin, False, ExposureMask, &ev);
    if (flush)
        XFlush(Pc_dis);
}

void sync_child(int xsync)
{
    if (Cpid <= 0 || !Pc_dis || !Pc_zwin)
        return;
    XSelectInput(Pc_dis, Pc_zwin, ExposureMask);
    send_command_to_child(0, KOVA_CMD_SYNC, 0, 1);
    if (xsync)
        XSync(Pc_dis, False);
    wait_for_ack(&Cpid);
    XSelectInput(Pc_dis, Pc_zwin, 0);
}

int run_child(char *const argv[], volatile sig_atomic_t *cpid, void (*exec_failed)())
{
    if (Exec_fd != -1) {
        close(Exec_fd);
        Exec_fd = -1;
    }
    /* The selection must be in force at the server before the child, on a
     * connection of its own, can answer: two connections are not ordered. */
    XSelectInput(Pc_dis, Pc_zwin, ExposureMask);
    XSync(Pc_dis, False);

    pid_t pid;
    {
        sigchld_held held;
        pid = fork();
        if (pid == 0) {
            held.restore();
            fcntl(ConnectionNumber(Pc_dis), F_SETFD, FD_CLOEXEC);
            execv(argv[0], argv);
            exec_failed();
        }
        *cpid = pid > 0 ? pid : 0;
    }
    int acked = pid > 0 ? wait_for_ack(cpid) : 0;
    XSelectInput(Pc_dis, Pc_zwin, 0);
    rmexecfile();
    return pid < 0 ? -1 : acked == 0 ? 0 : -2;
}

void start_child(void)
{
    static bool cleanup_registered = false;
    if (!cleanup_registered)
        cleanup_registered = atexit(remove_exec_file_at_exit) == 0;

    unsigned long numbers[KOVA_WIN_ARG_COUNT];
    numbers[KOVA_WIN_ARG_MODE] = KOVA_MODE_WINDOWS;
    numbers[KOVA_WIN_ARG_PPID] = static_cast<unsigned long>(getpid());
    numbers[KOVA_WIN_ARG_FACE_PIXEL] = get_color_pixel("#c0c0c0");
    numbers[KOVA_WIN_ARG_DARK_PIXEL] = get_color_pixel("#6f6f6f");
    numbers[KOVA_WIN_ARG_TROUGH_PIXEL] = get_color_pixel("#a3a3a3");
    numbers[KOVA_WIN_ARG_LIGHT_PIXEL] = get_color_pixel("#e7e7e7");
    numbers[KOVA_WIN_ARG_SCROLLBAR_WIDTH] = KOVA_SCROLLBAR_WIDTH;
    numbers[KOVA_WIN_ARG_CMD_WIN] = Pc_zwin;
    char text[KOVA_WIN_ARG_COUNT][24];
    char *argv[KOVA_WIN_ARG_COUNT + 1];
    argv[0] = Exec_slave_tmp;
    for (int at = KOVA_WIN_ARG_MODE; at < KOVA_WIN_ARG_COUNT; at++) {
        std::snprintf(text[at], sizeof text[at], "%lu", numbers[at]);
        argv[at] = text[at];
    }
    argv[KOVA_WIN_ARG_COUNT] = nullptr;

    if (mkexecfile() == -1)
        _kova_fatal("Cannot create a file in /tmp/.");
    switch (run_child(argv, &Cpid, window_child_exec_failed)) {
    case -1: _kova_fatal("fork() failed.");
    case -2: _kova_fatal("The child process ended before it started to serve the windows.");
    default: break;
    }
}
