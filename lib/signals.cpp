/*
 * signals.cpp - keeping track of the library's child processes: the
 * SIGCHLD handler that forgets children that ended, the exit handler that
 * stops the ones still running, and the SIGINT/SIGTERM handlers that end the
 * process through exit() so that the exit handler runs.
 *
 * A connection to the X server that is lost (the server ended, a window
 * manager killed it) ends the process through the same path.
 *
 * Everything here may run inside a signal handler: only async-signal-safe
 * calls (waitpid, kill, nanosleep, sigprocmask, alarm, _exit).
 */
#include "kova_private.h"
#include "sigchld_held.h"

#include <cerrno>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

namespace {

/* How long a child gets to end after SIGTERM, and after SIGKILL. */
constexpr int term_grace_ms = 1000;
constexpr int kill_grace_ms = 1000;
/* How long the end of the process waits for an image save to complete. */
constexpr int save_finish_ms = 30000;

/* If exit processing ever hangs after SIGINT/SIGTERM (a destructor of the
 * application blocked on a lock the signal interrupted), the process still
 * ends, with the status it was meant to have. */
constexpr unsigned int exit_watchdog_s = 5;

/* status: the wait status, or -1 when another waiter collected it. */
void forget_child(pid_t pid, int status)
{
    if (pid == Cpid_saveimg) {
        Cpid_saveimg_status = status;
        Chld_imgsave_stat = 0;
        Cpid_saveimg = 0;
    } else if (pid == Cpid_tmp) {
        Cpid_tmp_status = status;
        Cpid_tmp = 0;
    } else if (pid == Cpid) {
        Cpid = 0;
    }
}

/* Collects pid if it has ended.  Only our own children are collected, so
 * that the application's waitpid() and pclose() still find theirs. */
void collect(pid_t pid)
{
    if (pid <= 0)
        return;
    int status = 0;
    pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid)
        forget_child(pid, status);
    else if (r < 0 && errno == ECHILD)
        forget_child(pid, -1);
}

void exit_now(int)
{
    _exit(Exit_status);
}

[[noreturn]] void leave(int status)
{
    /* A second interrupt must not enter exit() again; SIGCHLD stays open
     * for the waits of killallchld. */
    sigset_t block;
    sigemptyset(&block);
    sigaddset(&block, SIGINT);
    sigaddset(&block, SIGTERM);
    sigprocmask(SIG_BLOCK, &block, nullptr);
    Exit_status = status;
    _kova_signal(SIGALRM, 0, exit_now);
    alarm(exit_watchdog_s);
    /* The children go first, before anything that is not signal-safe. */
    killallchld();
    exit(status);
}

XIOErrorHandler Other_io_handler = nullptr;

/* Xlib calls this once a connection has failed; it must not return. */
int lost_connection(Display *dis)
{
    static volatile sig_atomic_t lost = 0;
    if (dis != Pc_dis)
        return Other_io_handler(dis);
    /* An exit handler of the application used the dead connection again. */
    if (lost)
        _exit(1);
    lost = 1;
    _kova_error("The connection to the X server was lost.");
    leave(1);
}

} // namespace

void watch_connection(void)
{
    if (!Other_io_handler)
        Other_io_handler = XSetIOErrorHandler(lost_connection);
}

void chldexithandler(int)
{
    int saved = errno;
    /* Signals of children that end together merge into one: look at all. */
    collect(Cpid_saveimg);
    collect(Cpid_tmp);
    collect(Cpid);
    errno = saved;
}

void iint_handler(int)
{
    leave(130);
}

void iterm_handler(int)
{
    leave(143);
}

void stop_child(volatile sig_atomic_t *pid)
{
    pid_t p = *pid;
    if (p <= 0)
        return;
    kill(p, SIGTERM);
    if (wait_pid_cleared(pid, term_grace_ms) == 0)
        return;
    /* Ignores SIGTERM, is stopped, or no handler collects it. */
    kill(p, SIGKILL);
    for (int waited = 0; *pid > 0 && waited < kill_grace_ms; waited += 10) {
        collect(p);
        if (*pid > 0)
            kova_msleep(10);
    }
    /* Gone for good, though nobody could collect it: a save cut short, with
     * the wait status of a process SIGKILL ended. */
    if (*pid > 0)
        forget_child(p, SIGKILL);
}

int wait_child_end(volatile sig_atomic_t *pid, int timeout_ms)
{
    for (int waited = 0;; waited += 10) {
        bool ended;
        {
            /* The handler cannot collect the child between this look and
             * the bookkeeping. */
            sigchld_held held;
            collect(*pid);
            ended = *pid <= 0;
        }
        if (ended)
            return 0;
        if (timeout_ms >= 0 && waited >= timeout_ms)
            return -1;
        kova_msleep(10);
    }
}

void killallchld(void)
{
    /* A process forked from the application inherits the ids but not the
     * children: they belong to the application. */
    if (getpid() != Pid)
        return;
    /* A program that saves a picture and returns gets its whole file; an
     * interrupt cuts the save short. */
    if (Exit_status == 0)
        wait_child_end(&Cpid_saveimg, save_finish_ms);
    stop_child(&Cpid_saveimg);
    stop_child(&Cpid_tmp);
    stop_child(&Cpid);
    take_save_outcome();
}

void install_kova_handlers(void)
{
    _kova_signal(SIGCHLD, SA_NOCLDSTOP | SA_RESTART, chldexithandler);
    _kova_signal(SIGINT, 0, iint_handler);
    _kova_signal(SIGTERM, 0, iterm_handler);
    Pc_kovahandlers_are_set = 1;
}

void remove_kova_handlers(void)
{
    if (!Pc_kovahandlers_are_set)
        return;
    _kova_signal(SIGTERM, 0, nullptr);
    _kova_signal(SIGINT, 0, nullptr);
    _kova_signal(SIGCHLD, 0, nullptr);
    Pc_kovahandlers_are_set = 0;
}
